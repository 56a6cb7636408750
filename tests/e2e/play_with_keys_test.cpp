// The real program under a virtual X server, played with real key events from start to exit.
#include <gtest/gtest.h>

#include <ctime>
#include <set>
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

class PlayWithKeys : public ::testing::Test {
 protected:
  void Keys(std::vector<std::string> args) {
    int status = -1;
    x.Xdotool(args, &status);
    ASSERT_EQ(status, 0) << "xdotool " << args.front() << " failed";
  }

  VirtualX x;
  ScopedTempDir dir;
};

TEST_F(PlayWithKeys, SkipLogoPlayAGameReturnToTheLogoAndQuit) {
  // Ten negative scores: whatever the game's total, it takes the first place.
  game::HiscData seeded;
  for (int n = 1; n <= 10; ++n) {
    seeded.table.HiScores[n] = -n;
    seeded.table.HiDates[n] = "00/01/01 00:00";
  }
  seeded.StoredCheckValue = 0;
  seeded.PlayerName = app::Sjis(u8"テスト");
  testing_support::WriteFile(dir.Path() / "hisc.dat", game::FormatHiscFile(seeded));

  const std::time_t started = std::time(nullptr);
  ChildProcess velkor;
  velkor.Start({VELKOR_BINARY}, {{"DISPLAY", x.Display()}, {"SDL_AUDIODRIVER", "dummy"}}, dir.Path().string(),
               (dir.Path() / "velkor.log").string());

  std::string window;
  ASSERT_TRUE(testing_support::WaitUntil(
      [&] {
        window = x.Xdotool({"search", "--onlyvisible", "--pid", std::to_string(velkor.Pid())});
        window = window.substr(0, window.find('\n'));
        return !window.empty();
      },
      20s))
      << "the game's window never appeared";

  // No window manager runs here: the game must take the keyboard by itself.
  EXPECT_TRUE(testing_support::WaitUntil([&] { return x.Xdotool({"getwindowfocus"}) == window; }, 5s))
      << "the game's window did not get the keyboard";

  std::this_thread::sleep_for(500ms);
  Keys({"key", "space"});  // skip the logo
  std::this_thread::sleep_for(400ms);

  // Full screen and back leaves the window where it was, with the keyboard.
  const std::string placed = x.Xdotool({"getwindowgeometry", "--shell", window});
  std::string now;
  Keys({"key", "F11"});
  EXPECT_TRUE(testing_support::WaitUntil(
      [&] { return (now = x.Xdotool({"getwindowgeometry", "--shell", window})) != placed; }, 5s))
      << "F11 did not take the window full screen";
  Keys({"key", "F11"});
  EXPECT_TRUE(testing_support::WaitUntil(
      [&] { return (now = x.Xdotool({"getwindowgeometry", "--shell", window})) == placed; }, 5s))
      << "placed\n" << placed << "now\n" << now;
  EXPECT_TRUE(testing_support::WaitUntil([&] { return x.Xdotool({"getwindowfocus"}) == window; }, 5s))
      << "the game's window lost the keyboard";

  Keys({"key", "space"});  // start a game
  std::this_thread::sleep_for(300ms);

  // Choose arms with every kind of direction key and let go, turn after turn, until the sixty
  // seconds of play have surely run out (misses only shorten them).
  const std::vector<std::vector<std::string>> choices = {
      {"Up"}, {"Left", "Right"}, {"KP_8", "KP_2", "KP_4", "KP_6"}, {"j"}, {"i", "k"}, {"Down"}, {"l"},
  };
  ASSERT_TRUE(testing_support::PlayHeldTurns(x, choices, 62s)) << "xdotool failed";

  Keys({"key", "Return"});  // back to the logo
  std::this_thread::sleep_for(500ms);
  Keys({"key", "Escape"});
  auto status = velkor.Wait(10s);
  ASSERT_TRUE(status.has_value()) << "Escape did not end the game";
  EXPECT_EQ(*status, 0) << testing_support::ReadFile(dir.Path() / "velkor.log");
  const std::time_t ended = std::time(nullptr);

  bool all_crlf = false;
  const auto lines = testing_support::SplitCrLfLines(testing_support::ReadFile(dir.Path() / "hisc.dat"), all_crlf);
  ASSERT_EQ(lines.size(), 22u);
  EXPECT_TRUE(all_crlf);

  // The game took the first place, dated while it ran; the seeded scores moved down one.
  std::set<std::string> while_running;
  for (std::time_t t = started; t <= ended + 60; t += 30) while_running.insert(testing_support::TableDate(std::min(t, ended)));
  const int total = std::stoi(lines[0]);
  EXPECT_GE(total, 0);
  EXPECT_TRUE(while_running.count(lines[1])) << "dated " << lines[1];
  for (int n = 2; n <= 10; ++n) {
    EXPECT_EQ(lines[2 * (n - 1)], std::to_string(-(n - 1)));
    EXPECT_EQ(lines[2 * (n - 1) + 1], "00/01/01 00:00");
  }
  EXPECT_EQ(lines[20], std::to_string(game::CheckValueOf(total)));
  EXPECT_EQ(lines[21], app::Sjis(u8"テスト"));
  RecordProperty("total", total);
}

}  // namespace
