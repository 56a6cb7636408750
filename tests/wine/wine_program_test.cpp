// The Windows build (velkor.exe) under wine in a virtual X server, driven by real key events.
// The tests run when VELKOR_WINDOWS_DIR names the Windows build's directory (`make test-windows`);
// elsewhere there is no velkor.exe to run.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <thread>

#include "app/sjis.h"
#include "game/hiscore.h"
#include "support/harness.h"
#include "support/process.h"
#include "support/script_server.h"

namespace {

using namespace std::chrono_literals;
using testing_support::ChildProcess;
using testing_support::ScopedTempDir;
using testing_support::ServerConnection;
using testing_support::VirtualX;
using testing_support::WaitUntil;
namespace fs = std::filesystem;

// The port the Windows build's test copy of the program sends its submissions to.
constexpr std::uint16_t kWineRankingPort = 28773;

class WineProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* built = std::getenv("VELKOR_WINDOWS_DIR");
    if (!built || !*built) GTEST_SKIP() << "VELKOR_WINDOWS_DIR is not set: no Windows build to run";
    build_ = built;
    // The program as a player has it: velkor.exe with the font beside it, in its own folder.
    fs::copy_file(build_ / "velkor.exe", dir.Path() / "velkor.exe");
    fs::copy_file(build_ / "velkor_ranking_e2e.exe", dir.Path() / "velkor_ranking_e2e.exe");
    fs::copy_file("/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf", dir.Path() / "ipagp.ttf");
  }
  void TearDown() override {
    if (velkor.Running()) {
      velkor.Signal(SIGKILL);
      velkor.Wait(5s);
    }
  }

  void Start(const std::string& exe) {
    std::map<std::string, std::string> env = {
        {"DISPLAY", x.Display()},
        {"WINEPREFIX", (build_ / "wineprefix").string()},
        {"WINEDEBUG", "-all"},
        {"WINEDLLOVERRIDES", "mscoree,mshtml="},
        {"SDL_AUDIODRIVER", "dummy"},
    };
    velkor.Start({"wine", exe}, env, dir.Path().string(), (dir.Path() / "velkor.log").string());
  }
  std::string Log() { return testing_support::ReadFile(dir.Path() / "velkor.log"); }
  void Do(std::vector<std::string> args) {
    int status = -1;
    x.Xdotool(args, &status);
    ASSERT_EQ(status, 0) << "xdotool " << args.front() << " failed";
  }
  std::string WindowNamed(const std::string& utf8_title) {
    std::string ids = x.Xdotool({"search", "--all", "--onlyvisible", "--name", "."});
    for (std::size_t at = 0; at < ids.size();) {
      std::size_t end = std::min(ids.find('\n', at), ids.size());
      const std::string id = ids.substr(at, end - at);
      if (!id.empty() && x.Xdotool({"getwindowname", id}) == utf8_title) return id;
      at = end + 1;
    }
    return "";
  }
  std::vector<std::uint32_t> Pixels(const std::string& window) {
    auto shot = testing_support::CaptureWindow(x.Display(), std::stoul(window));
    return shot ? shot->pixels : std::vector<std::uint32_t>{};
  }
  // The game's window once it is shown and has the keyboard.
  std::string GameWindow() {
    std::string game;
    EXPECT_TRUE(WaitUntil([&] { return !(game = WindowNamed("Velkor Ver 1.12")).empty(); }, 120s)) << Log();
    EXPECT_TRUE(WaitUntil([&] { return x.Xdotool({"getwindowfocus"}) == game; }, 10s))
        << "the game's window did not get the keyboard";
    return game;
  }

  fs::path build_;
  ScopedTempDir dir;
  VirtualX x;
  ChildProcess velkor;
};

std::vector<std::string> SplitCrLfLines(const std::string& bytes, bool& all_crlf) {
  std::vector<std::string> lines;
  all_crlf = !bytes.empty();
  std::size_t at = 0;
  while (at < bytes.size()) {
    std::size_t lf = bytes.find('\n', at);
    if (lf == std::string::npos) {
      all_crlf = false;
      lines.push_back(bytes.substr(at));
      break;
    }
    if (lf == at || bytes[lf - 1] != '\r') all_crlf = false;
    lines.push_back(bytes.substr(at, lf > at && bytes[lf - 1] == '\r' ? lf - at - 1 : lf - at));
    at = lf + 1;
  }
  return lines;
}

TEST_F(WineProgram, LogoPlaysAGameEndsAndEscapeWritesTheTableBesideTheProgram) {
  // A table as the original wrote it: ten negative scores, so the game takes the first place.
  game::HiscData seeded;
  for (int n = 1; n <= 10; ++n) {
    seeded.table.HiScores[n] = -n;
    seeded.table.HiDates[n] = "99/12/31 23:59";
  }
  seeded.StoredCheckValue = 0;
  seeded.PlayerName = app::Sjis(u8"ﾃｽﾄ名前");
  testing_support::WriteFile(dir.Path() / "hisc.dat", game::FormatHiscFile(seeded));

  Start("velkor.exe");
  const std::string game = GameWindow();
  ASSERT_FALSE(game.empty());
  // The logo moves.
  const auto first = Pixels(game);
  EXPECT_TRUE(WaitUntil([&] { return Pixels(game) != first; }, 5s)) << "the logo does not play";
  Do({"key", "space"});  // skip the logo
  std::this_thread::sleep_for(500ms);
  Do({"key", "space"});  // start a game
  std::this_thread::sleep_for(300ms);
  // Turn after turn until the sixty seconds of play have surely run out.
  const std::vector<std::vector<std::string>> choices = {{"Up"}, {"Left", "Right"}, {"KP_8", "KP_2"}, {"j"}, {"Down"}};
  const auto play_until = std::chrono::steady_clock::now() + 62s;
  for (std::size_t turn = 0; std::chrono::steady_clock::now() < play_until; ++turn) {
    const auto& keys = choices[turn % choices.size()];
    std::vector<std::string> down{"keydown"}, up{"keyup"};
    down.insert(down.end(), keys.begin(), keys.end());
    up.insert(up.end(), keys.begin(), keys.end());
    Do(down);
    std::this_thread::sleep_for(120ms);
    Do(up);
    std::this_thread::sleep_for(120ms);
  }
  Do({"key", "Return"});  // from the game-over screen back to the logo
  std::this_thread::sleep_for(500ms);
  Do({"key", "Escape"});
  auto status = velkor.Wait(30s);
  ASSERT_TRUE(status.has_value()) << "Escape did not end the game";
  EXPECT_EQ(*status, 0) << Log();
  EXPECT_EQ(Log().find("no Japanese font"), std::string::npos) << "the font beside the program was not found";

  bool all_crlf = false;
  const std::string bytes = testing_support::ReadFile(dir.Path() / "hisc.dat");
  const auto lines = SplitCrLfLines(bytes, all_crlf);
  ASSERT_EQ(lines.size(), 22u) << bytes;
  EXPECT_TRUE(all_crlf);
  const int total = std::stoi(lines[0]);
  EXPECT_GE(total, 0);
  EXPECT_NE(lines[1], "99/12/31 23:59") << "the game's score was not entered";
  for (int n = 2; n <= 10; ++n) {
    EXPECT_EQ(lines[2 * (n - 1)], std::to_string(-(n - 1)));
    EXPECT_EQ(lines[2 * (n - 1) + 1], "99/12/31 23:59");
  }
  EXPECT_EQ(lines[20], std::to_string(game::CheckValueOf(total)));
  EXPECT_EQ(lines[21], app::Sjis(u8"ﾃｽﾄ名前"));
  // Only the table: the atomic save left no temporary file behind.
  for (const auto& entry : fs::directory_iterator(dir.Path()))
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}

TEST_F(WineProgram, AnOriginalTableIsWrittenBackByteForByte) {
  game::HiscData seeded;
  seeded.table.FillDefaults();
  seeded.table.HiScores[1] = 345;
  seeded.table.HiDates[1] = "02/04/01 12:34";
  seeded.StoredCheckValue = game::CheckValueOf(345);
  seeded.PlayerName = app::Sjis(u8"ベルコール①");  // an NEC extension of code page 932
  const std::string original = game::FormatHiscFile(seeded);
  testing_support::WriteFile(dir.Path() / "hisc.dat", original);
  Start("velkor.exe");
  ASSERT_FALSE(GameWindow().empty());
  Do({"key", "Escape"});
  auto status = velkor.Wait(30s);
  ASSERT_TRUE(status.has_value()) << "Escape did not end the game";
  EXPECT_EQ(*status, 0) << Log();
  EXPECT_EQ(testing_support::ReadFile(dir.Path() / "hisc.dat"), original);
}

TEST_F(WineProgram, TheDialogSendsTheSixRequestLinesThroughWinsock) {
  game::HiscData seeded;
  seeded.table.FillDefaults();
  seeded.table.HiScores[1] = 1234;
  seeded.StoredCheckValue = 5611;
  seeded.PlayerName = "old";
  testing_support::WriteFile(dir.Path() / "hisc.dat", game::FormatHiscFile(seeded));

  std::unique_ptr<testing_support::ScriptServer> server;
  const auto give_up = std::chrono::steady_clock::now() + 120s;
  while (!server) {
    try {
      server = std::make_unique<testing_support::ScriptServer>(
          std::vector<testing_support::ServerScript>{[](ServerConnection& c) {
            c.ReadRequest();
            c.Send("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html>entered</html>");
          }},
          "127.0.0.1", kWineRankingPort);
    } catch (const std::runtime_error&) {
      ASSERT_LT(std::chrono::steady_clock::now(), give_up) << "the ranking port stays taken";
      std::this_thread::sleep_for(200ms);
    }
  }

  Start("velkor_ranking_e2e.exe");
  const std::string game = GameWindow();
  ASSERT_FALSE(game.empty());
  std::this_thread::sleep_for(500ms);
  Do({"key", "space"});  // skip the logo
  std::this_thread::sleep_for(500ms);
  Do({"key", "alt+F9"});
  std::string dialog;
  ASSERT_TRUE(WaitUntil([&] { return !(dialog = WindowNamed("ハイスコア自動送信")).empty(); }, 20s))
      << "the dialog did not open";
  ASSERT_TRUE(WaitUntil([&] { return x.Xdotool({"getwindowfocus"}) == dialog; }, 10s));
  // The name field holds the stored name: click into it, take it out and type another.
  Do({"mousemove", "--sync", "--window", dialog, "116", "82"});
  Do({"click", "1"});
  Do({"key", "End", "BackSpace", "BackSpace", "BackSpace"});
  Do({"type", "--delay", "30", "Velkor"});
  Do({"key", "Tab"});
  Do({"type", "--delay", "30", "hi there"});
  Do({"mousemove", "--sync", "--window", dialog, "96", "152"});  // ハイスコア送信
  Do({"click", "1"});

  ASSERT_TRUE(WaitUntil([&] { return server->Requests().size() == 1; }, 20s)) << "nothing reached the server";
  EXPECT_EQ(server->Requests()[0],
            "GET /~tobrin/soft/velkor/ran/ranking.cgi?command=entry&name=Velkor&score=1234&pass_s=5611&comment=hi there* "
            "HTTP/1.0\r\n"
            "Host: 127.0.0.1\r\n"
            "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n"
            "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n"
            "Content-type: application/x-www-form-urlencoded\r\n"
            "\r\n");
  std::string box;
  ASSERT_TRUE(WaitUntil([&] { return !(box = WindowNamed("ノルダース")).empty(); }, 20s)) << "no success message";
  ASSERT_TRUE(WaitUntil([&] { return x.Xdotool({"getwindowfocus"}) == box; }, 10s));
  Do({"key", "Return"});
  ASSERT_TRUE(WaitUntil([&] { return WindowNamed("ノルダース").empty(); }, 10s));
  ASSERT_TRUE(WaitUntil([&] { return x.Xdotool({"getwindowfocus"}) == dialog; }, 10s));
  Do({"mousemove", "--sync", "--window", dialog, "220", "152"});  // 閉じる
  Do({"click", "1"});
  ASSERT_TRUE(WaitUntil([&] { return WindowNamed("ハイスコア自動送信").empty(); }, 10s));
  ASSERT_TRUE(WaitUntil([&] { return x.Xdotool({"getwindowfocus"}) == game; }, 10s));
  Do({"key", "Escape"});
  auto status = velkor.Wait(30s);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 0) << Log();
  game::HiscData saved;
  ASSERT_TRUE(game::ParseHiscFile(testing_support::ReadFile(dir.Path() / "hisc.dat"), saved));
  EXPECT_EQ(saved.StoredCheckValue, 0);
}

}  // namespace
