// The Windows build (velkor.exe) under wine in a virtual X server, driven by real key events.
// The tests run when VELKOR_WINDOWS_DIR names the Windows build's directory (`make test-windows`);
// elsewhere there is no velkor.exe to run.
#include <gtest/gtest.h>

#include <chrono>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "app/sjis.h"
#include "game/hiscore.h"
#include "support/harness.h"
#include "support/process.h"

namespace {

using namespace std::chrono_literals;
using testing_support::ChildProcess;
using testing_support::ScopedTempDir;
using testing_support::VirtualX;
using testing_support::WaitUntil;
namespace fs = std::filesystem;

class WineProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* built = std::getenv("VELKOR_WINDOWS_DIR");
    if (!built || !*built) GTEST_SKIP() << "VELKOR_WINDOWS_DIR is not set: no Windows build to run";
    build_ = built;
    // The program as a player has it: velkor.exe with the font beside it, in its own folder.
    fs::copy_file(build_ / "velkor.exe", dir.Path() / "velkor.exe");
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
    if (!game.empty()) Focus(game);
    return game;
  }
  // No window manager runs here, and wine leaves the keyboard's focus to one: give it as a
  // click on the window would.
  void Focus(const std::string& window) {
    EXPECT_TRUE(WaitUntil(
        [&] {
          x.Xdotool({"windowfocus", window});
          return x.Xdotool({"getwindowfocus"}) == window;
        },
        10s))
        << "window " << window << " did not get the keyboard";
  }

  fs::path build_;
  ScopedTempDir dir;
  VirtualX x;
  ChildProcess velkor;
};

TEST_F(WineProgram, TheLogoPlaysAndEscapeWritesAnOriginalTableBackByteForByte) {
  game::HiscData seeded;
  seeded.table.FillDefaults();
  seeded.table.HiScores[1] = 345;
  seeded.table.HiDates[1] = "02/04/01 12:34";
  seeded.StoredCheckValue = game::CheckValueOf(345);
  seeded.PlayerName = app::Sjis(u8"ベルコール①");  // an NEC extension of code page 932
  const std::string original = game::FormatHiscFile(seeded);
  testing_support::WriteFile(dir.Path() / "hisc.dat", original);
  Start("velkor.exe");
  const std::string game = GameWindow();
  ASSERT_FALSE(game.empty());
  const auto first = Pixels(game);
  EXPECT_TRUE(WaitUntil([&] { return Pixels(game) != first; }, 5s)) << "the logo does not play";
  Do({"key", "Escape"});
  auto status = velkor.Wait(30s);
  ASSERT_TRUE(status.has_value()) << "Escape did not end the game";
  EXPECT_EQ(*status, 0) << Log();
  EXPECT_EQ(Log().find("no Japanese font"), std::string::npos) << "the font beside the program was not found";
  EXPECT_EQ(testing_support::ReadFile(dir.Path() / "hisc.dat"), original);
  // Only the table: the atomic save left no temporary file behind.
  for (const auto& entry : fs::directory_iterator(dir.Path()))
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}

}  // namespace
