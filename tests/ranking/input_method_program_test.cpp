// Japanese typed through real input methods into the real program's submission dialog, under a
// virtual X server: a long composition shows whole where it is typed, a composition left by a
// click stays in its own field, and the ranking server gets the exact CP932 bytes. Each input
// method runs in a session bus of the test's own, as an unprivileged user where the test runs
// as root (Mozc refuses root), and everything it started ends with the test.
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "app/sjis.h"
#include "support/harness.h"
#include "support/process.h"
#include "support/script_server.h"

namespace {

using namespace std::chrono_literals;
using testing_support::ChildProcess;
using testing_support::RunAndCapture;
using testing_support::ScopedTempDir;
using testing_support::VirtualX;
using testing_support::WaitUntil;

struct InputMethod {
  const char* name;
  const char* framework;  // "ibus" or "fcitx"
  const char* engine;     // ibus' engine, or fcitx5's input method
};

std::ostream& operator<<(std::ostream& out, const InputMethod& im) { return out << im.name; }

bool Installed(const std::filesystem::path& path) { return std::filesystem::exists(path); }

class InputMethodProgram : public ::testing::TestWithParam<InputMethod> {
 protected:
  void SetUp() override {
    const InputMethod& im = GetParam();
    const bool ibus = std::string(im.framework) == "ibus";
    ASSERT_TRUE(Installed("/usr/bin/dbus-daemon") && Installed(ibus ? "/usr/bin/ibus-daemon" : "/usr/bin/fcitx5"))
        << im.name << " is not installed (scripts/install-deps.sh test installs it)";

    // The user the desktop runs as: this one, or nobody where the test runs as root.
    if (geteuid() == 0) {
      const passwd* pw = getpwnam("nobody");
      ASSERT_NE(pw, nullptr);
      uid_ = pw->pw_uid;
      gid_ = pw->pw_gid;
    } else {
      uid_ = geteuid();
      gid_ = getegid();
    }
    home_ = dir.Path() / "home";
    game_dir_ = dir.Path() / "game";
    for (const auto& d : {home_, home_ / ".config" / "mozc", home_ / "run", game_dir_})
      std::filesystem::create_directories(d);
    // Mozc starts composing kana at once rather than in its direct mode. The file replaces
    // ibus-mozc's defaults, its engine among them.
    std::ofstream(home_ / ".config" / "mozc" / "ibus_config.textproto")
        << "engines {\n  name: \"mozc-jp\"\n  longname: \"Mozc\"\n  layout: \"default\"\n  layout_variant: \"\"\n"
           "  layout_option: \"\"\n  rank: 80\n}\nactive_on_launch: True\n";
    std::filesystem::permissions(home_ / "run", std::filesystem::perms::owner_all);
    testing_support::WriteBestScoreTable(game_dir_ / "hisc.dat");
    Own(dir.Path());

    env_ = {{"DISPLAY", x.Display()},
            {"HOME", home_.string()},
            {"XDG_CONFIG_HOME", (home_ / ".config").string()},
            {"XDG_RUNTIME_DIR", (home_ / "run").string()},
            // ibus-anthy is a Python program: Debian's Python, whatever else the PATH holds.
            {"PATH", "/usr/bin:/bin"},
            {"NO_AT_BRIDGE", "1"},
            {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (home_ / "run" / "bus").string()}};
    bus.Start(AsUser({"dbus-daemon", "--session", "--nofork", "--address=" + env_["DBUS_SESSION_BUS_ADDRESS"]}),
              env_, "", (dir.Path() / "dbus.log").string());
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(home_ / "run" / "bus"); }, 10s)) << "no session bus";

    if (ibus) {
      // Anthy starts in its Latin mode unless told to compose hiragana.
      Run({"gsettings", "set", "org.freedesktop.ibus.engine.anthy.common", "input-mode", "0"});
      Run({"ibus", "write-cache"});
      daemon.Start(AsUser({"ibus-daemon", "--replace", "--xim", "--panel=disable"}), env_, "",
                   (dir.Path() / "ibus.log").string());
      ASSERT_TRUE(WaitUntil(
          [&] {
            Run({"ibus", "engine", im.engine});
            return Run({"ibus", "engine"}) == im.engine;
          },
          20s))
          << "ibus did not take the engine " << im.engine;
      game_env_ = {{"XMODIFIERS", "@im=ibus"}, {"SDL_IM_MODULE", "ibus"}};
    } else {
      WriteFcitxProfile(im.engine);
      daemon.Start(AsUser({"fcitx5", "--disable=all", "--enable=dbus,dbusfrontend,xim,mozc,keyboard,fcitx4frontend"}),
                   env_, "", (dir.Path() / "fcitx5.log").string());
      ASSERT_TRUE(WaitUntil([&] { return !Run({"fcitx5-remote"}).empty(); }, 20s)) << "fcitx5 did not start";
      game_env_ = {{"XMODIFIERS", "@im=fcitx"}, {"SDL_IM_MODULE", "fcitx"}};
    }
  }

  void TearDown() override {
    // The game first, then the input method's daemon with what it started, then the bus.
    velkor.Signal(SIGTERM);
    velkor.Wait(5s);
    for (ChildProcess* p : {&daemon, &bus}) {
      if (p->Pid() <= 0) continue;
      ::kill(-p->Pid(), SIGTERM);
      p->Wait(5s);
      ::kill(-p->Pid(), SIGKILL);
    }
  }

  void Own(const std::filesystem::path& path) {
    if (geteuid() != 0) return;
    ASSERT_EQ(::chown(path.c_str(), uid_, gid_), 0);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path))
      ASSERT_EQ(::lchown(entry.path().c_str(), uid_, gid_), 0);
  }

  std::vector<std::string> AsUser(std::vector<std::string> argv) const {
    if (geteuid() != 0) return argv;
    std::vector<std::string> out{"setpriv", "--reuid=" + std::to_string(uid_), "--regid=" + std::to_string(gid_),
                                 "--clear-groups", "--"};
    out.insert(out.end(), argv.begin(), argv.end());
    return out;
  }

  std::string Run(const std::vector<std::string>& argv) {
    std::string out = RunAndCapture(AsUser(argv), env_);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
  }

  void WriteFcitxProfile(const std::string& engine) {
    std::filesystem::create_directories(home_ / ".config" / "fcitx5");
    std::ofstream(home_ / ".config" / "fcitx5" / "profile") << "[Groups/0]\nName=Default\nDefault Layout=us\n"
                                                               "DefaultIM="
                                                            << engine
                                                            << "\n\n[Groups/0/Items/0]\nName=keyboard-us\nLayout=\n\n"
                                                               "[Groups/0/Items/1]\nName="
                                                            << engine << "\nLayout=\n\n[GroupOrder]\n0=Default\n";
    Own(home_);
  }

  void Do(std::vector<std::string> args) {
    int status = -1;
    x.Xdotool(args, &status);
    ASSERT_EQ(status, 0) << "xdotool " << args.front() << " failed";
  }
  std::string WindowNamed(const std::string& utf8_title) { return x.VisibleWindowNamed(velkor.Pid(), utf8_title); }

  // Starts the game as the desktop's user and opens the dialog from the title with Alt+F9.
  void OpenTheDialog(std::string& dialog) {
    std::map<std::string, std::string> env = env_;
    env.insert(game_env_.begin(), game_env_.end());
    env["SDL_AUDIODRIVER"] = "dummy";
    velkor.Start(AsUser({VELKOR_RANKING_E2E_BINARY}), env, game_dir_.string(), (dir.Path() / "velkor.log").string());
    std::string game;
    ASSERT_TRUE(WaitUntil([&] { return !(game = WindowNamed("Velkor Ver 1.12")).empty(); }, 20s))
        << testing_support::ReadFile(dir.Path() / "velkor.log");
    ASSERT_TRUE(WaitUntil([&] { return x.Xdotool({"getwindowfocus"}) == game; }, 5s));
    std::this_thread::sleep_for(500ms);
    Do({"key", "space"});  // past the logo
    std::this_thread::sleep_for(500ms);
    Do({"key", "alt+F9"});
    ASSERT_TRUE(WaitUntil([&] { return !(dialog = WindowNamed("ハイスコア自動送信")).empty(); }, 10s));
    ASSERT_TRUE(WaitUntil([&] { return x.Xdotool({"getwindowfocus"}) == dialog; }, 5s));
  }

  // The dialog shows three times its design size on this desktop.
  static constexpr int kScale = 3;
  void ClickAt(const std::string& window, int design_x, int design_y) {
    Do({"mousemove", "--sync", "--window", window, std::to_string(design_x * kScale),
        std::to_string(design_y * kScale)});
    Do({"click", "1"});
  }
  // The inside of an edit of the dialog at its design place, as the screen shows it now.
  std::vector<std::uint32_t> FieldPixels(const std::string& dialog, int left, int top, int width, int height) {
    auto shot = testing_support::CaptureWindow(x.Display(), std::stoul(dialog));
    if (!shot) return {};
    std::vector<std::uint32_t> out;
    for (int y = (top + 2) * kScale; y < (top + height - 2) * kScale; ++y)
      for (int x0 = (left + 2) * kScale; x0 < (left + width - 2) * kScale; ++x0)
        out.push_back(shot->pixels[static_cast<std::size_t>(y * shot->width + x0)]);
    return out;
  }

  ScopedTempDir dir;
  VirtualX x;
  ChildProcess bus, daemon, velkor;
  uid_t uid_ = 0;
  gid_t gid_ = 0;
  std::filesystem::path home_, game_dir_;
  std::map<std::string, std::string> env_, game_env_;
};

// The comment field: design place and size.
constexpr int kCommentLeft = 72, kCommentTop = 104, kCommentWidth = 233, kCommentHeight = 20;

TEST_P(InputMethodProgram, LongCompositionsShowWholeAndACompositionStaysInItsField) {
  auto server = testing_support::ListenWhenFree(VELKOR_TEST_RANKING_PORT, testing_support::AcceptEntry());
  std::string dialog;
  ASSERT_NO_FATAL_FAILURE(OpenTheDialog(dialog));

  // The stored name out, then "yamada" composed and left uncommitted by a click in the comment.
  ASSERT_NO_FATAL_FAILURE(ClickAt(dialog, 72 + 44, 72 + 10));
  Do({"key", "End", "BackSpace", "BackSpace", "BackSpace"});
  if (std::string(GetParam().framework) == "fcitx") {
    // fcitx5 starts each program in its direct mode; this turns its input method on.
    Run({"fcitx5-remote", "-o"});
    ASSERT_TRUE(WaitUntil([&] { return Run({"fcitx5-remote"}) == "2"; }, 5s)) << "fcitx5 did not turn on";
  }
  Do({"type", "--delay", "60", "yamada"});
  std::this_thread::sleep_for(700ms);
  ASSERT_NO_FATAL_FAILURE(ClickAt(dialog, kCommentLeft + 40, kCommentTop + 10));
  std::this_thread::sleep_for(500ms);

  // Fifteen kana, composed in the comment: the field shows them all as it shows them committed
  // (Return), but for the composition's underline, one design row of its own.
  Do({"type", "--delay", "60", "nihongonyuuryokutesutodesu"});
  std::vector<std::uint32_t> composing;
  EXPECT_TRUE(WaitUntil(
      [&] {
        auto now = FieldPixels(dialog, kCommentLeft, kCommentTop, kCommentWidth, kCommentHeight);
        std::this_thread::sleep_for(300ms);
        composing = FieldPixels(dialog, kCommentLeft, kCommentTop, kCommentWidth, kCommentHeight);
        return now == composing;
      },
      10s));
  Do({"key", "Return"});
  std::this_thread::sleep_for(700ms);
  const auto committed = FieldPixels(dialog, kCommentLeft, kCommentTop, kCommentWidth, kCommentHeight);
  ASSERT_EQ(composing.size(), committed.size());
  ASSERT_FALSE(committed.empty());
  // Everything the committed text shows lies above the first row where the pictures differ; that
  // row starts the underline, one design row under the whole text. Below it the input method may
  // put its own candidate window, over the edit.
  const int row = (kCommentWidth - 4) * kScale, rows = static_cast<int>(committed.size()) / row;
  auto at = [&](const std::vector<std::uint32_t>& v, int x0, int y) { return v[static_cast<std::size_t>(y * row + x0)]; };
  int first = rows;
  for (int y = 0; y < rows && first == rows; ++y)
    for (int x0 = 0; x0 < row; ++x0)
      if (at(composing, x0, y) != at(committed, x0, y)) {
        first = y;
        break;
      }
  EXPECT_LT(first, rows) << "no underline under the composition";
  int text_right = -1, dark_below = 0;
  for (int y = 0; y < rows; ++y)
    for (int x0 = 0; x0 < row; ++x0)
      if (at(committed, x0, y) == 0) {
        if (y < first)
          text_right = std::max(text_right, x0);
        else
          ++dark_below;
      }
  EXPECT_EQ(dark_below, 0) << "the composition did not show as its committed text does";
  EXPECT_GT(text_right, 10 * 12 * kScale) << "the committed text is not there";
  for (int y = first; y < first + kScale && y < rows; ++y) {
    int underlined = 0;
    for (int x0 = 0; x0 <= text_right; ++x0) underlined += at(composing, x0, y) == 0;
    EXPECT_GE(underlined, text_right - 3 * kScale) << "the underline does not run under the whole text, row " << y;
  }

  ASSERT_NO_FATAL_FAILURE(ClickAt(dialog, 48 + 48, 136 + 16));  // ハイスコア送信
  ASSERT_TRUE(WaitUntil([&] { return server->Requests().size() == 1; }, 15s)) << "nothing reached the server";
  EXPECT_EQ(server->Requests()[0],
            testing_support::EntryRequestLines("command=entry&name=" + app::Sjis(u8"やまだ") +
                                                   "&score=1234&pass_s=5611&comment=" +
                                                   app::Sjis(u8"にほんごにゅうりょくてすとです") + "*",
                                               "127.0.0.1"));
}

INSTANTIATE_TEST_SUITE_P(Engines, InputMethodProgram,
                         ::testing::Values(InputMethod{"IbusAnthy", "ibus", "anthy"},
                                           InputMethod{"IbusMozc", "ibus", "mozc-jp"},
                                           InputMethod{"Fcitx5Mozc", "fcitx", "mozc"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
