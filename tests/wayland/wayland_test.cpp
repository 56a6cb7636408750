// The real program on a Wayland desktop with no X server: a headless sway of the test's own,
// where a window exists for the player only once the compositor maps it. Driven only by keys
// from a virtual keyboard, looked at through the compositor's window tree and screenshots, and
// sending from its dialog to a ranking server on 127.0.0.1 (this copy of the program is built
// with its ranking host at the loopback port the test listens on).
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "game/hiscore.h"
#include "support/harness.h"
#include "support/process.h"
#include "support/script_server.h"
#include "support/wayland.h"

namespace {

using namespace std::chrono_literals;
using testing_support::ChildProcess;
using testing_support::HeadlessWayland;
using testing_support::OutputShot;
using testing_support::ScopedTempDir;
using testing_support::WaitUntil;
using testing_support::WaylandWindow;

const char kGameTitle[] = "Velkor Ver 1.12";
const char kDialogTitle[] = "ハイスコア自動送信";
const char kBoxTitle[] = "ノルダース";

// Pixels of one colour in a part of the output.
std::size_t Count(const OutputShot& shot, int left, int top, int width, int height, std::uint32_t colour) {
  std::size_t n = 0;
  for (int y = std::max(top, 0); y < std::min(top + height, shot.height); ++y)
    for (int x = std::max(left, 0); x < std::min(left + width, shot.width); ++x) n += shot.At(x, y) == colour;
  return n;
}

class Wayland : public ::testing::Test {
 protected:
  std::optional<WaylandWindow> Window(const std::string& title) {
    for (const WaylandWindow& w : wl.Windows())
      if (w.name == title && w.visible) return w;
    return std::nullopt;
  }
  void Type(const std::vector<std::string>& args) { ASSERT_TRUE(wl.Type(args)) << "wtype failed"; }
  // The window's client area, where the compositor has it now, in a fresh screenshot: pixels of
  // `colour` there.
  std::size_t InWindow(const std::string& title, std::uint32_t colour) {
    auto w = Window(title);
    auto shot = wl.Shot();
    return w && shot ? Count(*shot, w->x, w->y, w->width, w->height, colour) : 0;
  }
  // The title's footer line is pure red; the ranking screen has pure blue and no red.
  bool ShowsTitle() { return InWindow(kGameTitle, 0xFF0000) >= 1000; }
  bool ShowsRanking() { return InWindow(kGameTitle, 0x0000FF) >= 1000 && InWindow(kGameTitle, 0xFF0000) == 0; }
  std::string GameLog() { return testing_support::ReadFile(dir.Path() / "velkor.log"); }

  // The game goes full screen on `press` and back on a second one: the whole output, the 4:3
  // picture in the middle with black bars beside it, then its window again as it was.
  void FullScreenRoundTrip(const std::vector<std::string>& press, const WaylandWindow& windowed) {
    SCOPED_TRACE(press[press.size() > 1 ? 1 : 0]);
    ASSERT_NO_FATAL_FAILURE(Type(press));
    std::optional<WaylandWindow> full;
    EXPECT_TRUE(WaitUntil(
        [&] {
          full = Window(kGameTitle);
          if (!full || !full->fullscreen || full->width != 1280 || full->height != 720) return false;
          auto shot = wl.Shot();
          // 960 x 720 in the middle of 1280 x 720; the title's red there, nothing in the bars.
          return shot && Count(*shot, 0, 0, 160, 720, 0) == 160u * 720 &&
                 Count(*shot, 1120, 0, 160, 720, 0) == 160u * 720 && Count(*shot, 160, 0, 960, 720, 0xFF0000) >= 1000;
        },
        10s))
        << "not full screen with bars; the window: " << (full ? full->width : 0) << "x" << (full ? full->height : 0)
        << (full && full->fullscreen ? " full screen" : "");
    ASSERT_NO_FATAL_FAILURE(Type(press));
    std::optional<WaylandWindow> back;
    EXPECT_TRUE(WaitUntil(
        [&] {
          back = Window(kGameTitle);
          return back && !back->fullscreen && back->width == windowed.width && back->height == windowed.height &&
                 ShowsTitle();
        },
        10s))
        << "not back in its window";
  }

  HeadlessWayland wl;  // first made, last gone: the game goes before its compositor
  ScopedTempDir dir;
  ChildProcess velkor;
};

TEST_F(Wayland, TheGameShowsAtItsScalePlaysGoesFullScreenAndSendsFromItsDialog) {
  testing_support::WriteBestScoreTable(dir.Path() / "hisc.dat");
  auto server = testing_support::ListenWhenFree(VELKOR_TEST_RANKING_PORT, testing_support::AcceptEntry());
  wl.GiveToClients(dir.Path());
  // On Wayland SDL draws through Mesa's EGL, which unloads its driver as the program ends: what
  // the driver kept for its lifetime then shows as leaks from no known library, which no
  // suppression can name. The program's own leaks are looked for by the tests under X.
  const char* asan = std::getenv("ASAN_OPTIONS");
  const std::string asan_options = std::string(asan ? asan : "") + (asan && *asan ? ":" : "") + "detect_leaks=0";
  wl.Start(velkor, {VELKOR_RANKING_E2E_BINARY},
           {{"SDL_VIDEODRIVER", "wayland"},
            {"SDL_AUDIODRIVER", "dummy"},
            {"HOME", dir.Path().string()},
            {"ASAN_OPTIONS", asan_options}},
           dir.Path().string(), (dir.Path() / "velkor.log").string());

  // Mapped, at its first scale on this 1280 x 720 output (320 x 240 twice over), with the
  // keyboard.
  auto game = wl.WaitForWindow(kGameTitle, 20s);
  ASSERT_TRUE(game) << "the game's window never appeared\n" << GameLog();
  EXPECT_EQ(game->width, 640);
  EXPECT_EQ(game->height, 480);
  EXPECT_FALSE(game->fullscreen);
  ASSERT_TRUE(WaitUntil([&] { return (game = Window(kGameTitle)) && game->focused; }, 5s)) << "no keyboard focus";

  // The logo plays: pictures that change.
  std::optional<OutputShot> first;
  ASSERT_TRUE(WaitUntil(
      [&] {
        first = wl.Shot();
        game = Window(kGameTitle);
        return first && game && Count(*first, game->x, game->y, game->width, game->height, 0) < 640u * 480 - 500;
      },
      10s))
      << "nothing drawn in the window";
  EXPECT_TRUE(WaitUntil(
      [&] {
        auto next = wl.Shot();
        return next && next->pixels != first->pixels;
      },
      5s))
      << "the logo stands still";

  // Space skips the logo; Enter goes to the ranking and back.
  ASSERT_NO_FATAL_FAILURE(Type({"-k", "space"}));
  ASSERT_TRUE(WaitUntil([&] { return ShowsTitle(); }, 10s)) << "no title after Space";
  ASSERT_NO_FATAL_FAILURE(Type({"-k", "Return"}));
  ASSERT_TRUE(WaitUntil([&] { return ShowsRanking(); }, 10s)) << "no ranking after Enter";
  ASSERT_NO_FATAL_FAILURE(Type({"-k", "Return"}));
  ASSERT_TRUE(WaitUntil([&] { return ShowsTitle(); }, 10s)) << "no title after Enter";

  // Full screen and back, with F11 and with Alt+F8, twice each.
  for (int round = 0; round < 2; ++round) {
    ASSERT_NO_FATAL_FAILURE(FullScreenRoundTrip({"-k", "F11"}, *game));
    ASSERT_NO_FATAL_FAILURE(FullScreenRoundTrip({"-M", "alt", "-k", "F8", "-m", "alt"}, *game));
  }
  game = Window(kGameTitle);
  ASSERT_TRUE(game);

  // Alt+F9 opens the dialog, at the game's scale (its 309 x 204 design twice over), with the
  // keyboard on its send button.
  ASSERT_NO_FATAL_FAILURE(Type({"-M", "alt", "-k", "F9", "-m", "alt"}));
  auto dialog = wl.WaitForWindow(kDialogTitle, 10s);
  ASSERT_TRUE(dialog) << "the dialog never appeared\n" << GameLog();
  EXPECT_EQ(dialog->width, 618);
  EXPECT_EQ(dialog->height, 408);
  ASSERT_TRUE(WaitUntil([&] { return (dialog = Window(kDialogTitle)) && dialog->focused; }, 5s));
  EXPECT_TRUE(WaitUntil([&] { return InWindow(kDialogTitle, 0xC0C0C0) > 618u * 408 / 2; }, 5s)) << "the dialog is not drawn";

  // Tab twice to the name field, take the stored name out, type another; Tab to the comment;
  // Tab twice round to the send button and press it with Enter.
  ASSERT_NO_FATAL_FAILURE(
      Type({"-k", "Tab", "-k", "Tab", "-k", "End", "-k", "BackSpace", "-k", "BackSpace", "-k", "BackSpace"}));
  ASSERT_NO_FATAL_FAILURE(Type({"-d", "30", "Velkor"}));
  ASSERT_NO_FATAL_FAILURE(Type({"-k", "Tab"}));
  ASSERT_NO_FATAL_FAILURE(Type({"-d", "30", "hi there"}));
  ASSERT_NO_FATAL_FAILURE(Type({"-k", "Tab", "-k", "Tab", "-k", "Return"}));
  ASSERT_TRUE(WaitUntil([&] { return server->Requests().size() == 1; }, 10s)) << "nothing reached the server";
  EXPECT_EQ(server->Requests()[0],
            testing_support::EntryRequestLines("command=entry&name=Velkor&score=1234&pass_s=5611&comment=hi there*",
                                               "127.0.0.1"));

  // The success box appears with the keyboard, and Enter closes it.
  std::optional<WaylandWindow> box;
  ASSERT_TRUE(WaitUntil([&] { return (box = Window(kBoxTitle)) && box->focused; }, 10s)) << "no success message";
  EXPECT_TRUE(WaitUntil([&] { return InWindow(kBoxTitle, 0xC0C0C0) > 0; }, 5s)) << "the box is not drawn";
  ASSERT_NO_FATAL_FAILURE(Type({"-k", "Return"}));
  ASSERT_TRUE(WaitUntil([&] { return !Window(kBoxTitle); }, 5s));

  // The dialog closes by its close box; the game has the keyboard again and Escape ends it.
  ASSERT_TRUE(WaitUntil([&] { return (dialog = Window(kDialogTitle)) && dialog->focused; }, 5s));
  ASSERT_TRUE(wl.Close(kDialogTitle));
  ASSERT_TRUE(WaitUntil([&] { return !Window(kDialogTitle); }, 5s));
  ASSERT_TRUE(WaitUntil([&] { return (game = Window(kGameTitle)) && game->focused; }, 5s));
  ASSERT_TRUE(WaitUntil([&] { return ShowsTitle(); }, 5s));
  ASSERT_NO_FATAL_FAILURE(Type({"-k", "Escape"}));
  auto status = velkor.Wait(10s);
  ASSERT_TRUE(status.has_value()) << "the game did not end on Escape";
  EXPECT_EQ(*status, 0) << GameLog();

  game::HiscData saved;
  ASSERT_TRUE(game::ParseHiscFile(testing_support::ReadFile(dir.Path() / "hisc.dat"), saved));
  EXPECT_EQ(saved.StoredCheckValue, 0);
  EXPECT_EQ(saved.PlayerName, "Velkor");
  EXPECT_EQ(saved.table.HiScores[1], 1234);
}

}  // namespace
