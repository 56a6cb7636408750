// The real program's window under a virtual X server: its title, its place, its scale, the
// logo animation as a screenshot sees it, and its place after trips to full screen and back.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "app/assets.h"
#include "game/unit1.h"
#include "media/dib.h"
#include "support/harness.h"
#include "support/process.h"

namespace {

using namespace testing_support;
using namespace std::chrono_literals;

// The window's picture when the eleven copies have met at (85, 80): the logo there, black
// elsewhere, every program pixel shown as a `scale` x `scale` block.
std::vector<std::uint32_t> LogoAtRest(int scale) {
  media::TPicture picture;
  picture.LoadFromData(app::FindAsset("logo.dib"));
  const auto& logo = static_cast<const media::TDIB&>(*picture.Graphic());
  const int w = 320 * scale;
  std::vector<std::uint32_t> out(static_cast<std::size_t>(w * 240 * scale), 0);
  for (int y = 0; y < 240 * scale; ++y)
    for (int x = 0; x < w; ++x) {
      const int lx = x / scale - 85, ly = y / scale - 80;
      if (lx >= 0 && ly >= 0 && lx < 150 && ly < 32) out[static_cast<std::size_t>(y * w + x)] = logo.ColorAt(lx, ly);
    }
  return out;
}

TEST(Window, OpensCentredAtThreeTimesTheSizePlaysTheLogoAndGoesFullScreen) {
  ScopedTempDir dir;
  VirtualX x(1280, 1024, 24);
  const std::map<std::string, std::string> env = {{"DISPLAY", x.Display()}};
  ChildProcess velkor;
  velkor.Start({VELKOR_BINARY}, {{"DISPLAY", x.Display()}, {"SDL_AUDIODRIVER", "dummy"}}, dir.Path().string(),
               (dir.Path() / "velkor.log").string());
  std::string id;
  ASSERT_TRUE(WaitUntil(
      [&] {
        id = RunAndCapture({"xdotool", "search", "--name", "^Velkor Ver 1.12$"}, env);
        return !id.empty();
      },
      10s))
      << ReadFile(dir.Path() / "velkor.log");
  const unsigned long window = std::stoul(id);
  EXPECT_EQ(RunAndCapture({"xdotool", "getwindowname", id}, env), "Velkor Ver 1.12\n");

  // Nine tenths of 1280 x 1024 hold the 320 x 240 picture three times over, not four.
  std::optional<WindowShot> shot = CaptureWindow(x.Display(), window);
  ASSERT_TRUE(shot);
  EXPECT_EQ(shot->width, 960);
  EXPECT_EQ(shot->height, 720);
  EXPECT_EQ(shot->x, (1280 - 960) / 2);
  EXPECT_EQ(shot->y, (1024 - 720) / 2);

  // Frames run while the window has the focus (no window manager gives it here). The copies
  // meet after 240 frames and stay together for 200 more.
  RunAndCapture({"xdotool", "windowfocus", id}, env);
  const std::vector<std::uint32_t> expected = LogoAtRest(3);
  std::size_t best_wrong = expected.size();
  EXPECT_TRUE(WaitUntil(
      [&] {
        shot = CaptureWindow(x.Display(), window);
        if (!shot || shot->pixels.size() != expected.size()) return false;
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < expected.size(); ++i) wrong += shot->pixels[i] != expected[i];
        best_wrong = std::min(best_wrong, wrong);
        return wrong == 0;
      },
      20s))
      << "closest picture had " << best_wrong << " pixels wrong\n"
      << ReadFile(dir.Path() / "velkor.log");

  // Alt+F8 takes the whole screen and gives it back.
  auto placed = [&](int px, int py, int w, int h) {
    return WaitUntil(
        [&] {
          shot = CaptureWindow(x.Display(), window);
          return shot && shot->x == px && shot->y == py && shot->width == w && shot->height == h;
        },
        10s);
  };
  RunAndCapture({"xdotool", "key", "alt+F8"}, env);
  EXPECT_TRUE(placed(0, 0, 1280, 1024));
  RunAndCapture({"xdotool", "key", "alt+F8"}, env);
  EXPECT_TRUE(placed(160, 152, 960, 720));
  EXPECT_TRUE(velkor.Running());
}

// The desktops of the trips below: a window manager that frames the window, or none.
struct Desktop {
  const char* name;
  std::optional<WindowManagerKind> manager;
};

// Five trips to full screen and back with real keys, by F11 and Alt+F8 in turn, on a 1280 x 720
// desktop: the client area comes back exactly where it first was, at its first size, after every
// trip. A window manager places a framed window by its frame, and the program once put the frame
// where the client area had been, so that the client area walked down and right by the frame's
// borders on every trip.
void ComesBackAfterEveryTrip(const Desktop& desktop) {
  ScopedTempDir dir;
  VirtualX x(1280, 720, 24);
  const std::map<std::string, std::string> env = {{"DISPLAY", x.Display()}};
  std::optional<WindowManager> wm;
  if (desktop.manager) wm.emplace(x.Display(), *desktop.manager, dir.Path().string());
  ChildProcess velkor;
  velkor.Start({VELKOR_BINARY}, {{"DISPLAY", x.Display()}, {"SDL_AUDIODRIVER", "dummy"}}, dir.Path().string(),
               (dir.Path() / "velkor.log").string());
  const std::string id = x.WaitForWindow("^Velkor Ver 1.12$", 10s);
  ASSERT_FALSE(id.empty()) << ReadFile(dir.Path() / "velkor.log");
  const unsigned long window = std::stoul(id);
  if (desktop.manager) {
    std::vector<long> frame;
    ASSERT_TRUE(WaitUntil([&] { return (frame = FrameExtents(x.Display(), window)).size() == 4; }, 10s))
        << "the window manager never framed the window";
    // A frame with a title bar: the client area is not where the frame is.
    ASSERT_GT(frame[2], 0);
  } else {
    RunAndCapture({"xdotool", "windowfocus", id}, env);
  }

  // Where the client area is once it has kept still for half a second: the window manager
  // may still move it after the program is done.
  auto same = [](const WindowShot& a, const WindowShot& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
  };
  auto settled = [&] {
    std::optional<WindowShot> last;
    int still = 0;
    WaitUntil(
        [&] {
          std::optional<WindowShot> now = WindowGeometry(x.Display(), window);
          still = now && last && same(*now, *last) ? still + 1 : 0;
          last = now;
          return still >= 25;
        },
        15s);
    return last;
  };
  auto text = [](const std::optional<WindowShot>& p) {
    return p ? std::to_string(p->width) + "x" + std::to_string(p->height) + " at (" + std::to_string(p->x) + "," +
                   std::to_string(p->y) + ")"
             : std::string("nowhere");
  };
  const std::optional<WindowShot> first = settled();
  ASSERT_TRUE(first);
  ASSERT_LT(first->width, 1280);
  const WindowShot full_screen{0, 0, 1280, 720, {}};
  for (int trip = 1; trip <= 5; ++trip) {
    const std::string key = trip % 2 == 1 ? "F11" : "alt+F8";
    SCOPED_TRACE(key + ", trip " + std::to_string(trip));
    std::optional<WindowShot> shot;
    RunAndCapture({"xdotool", "key", key}, env);
    ASSERT_TRUE(
        WaitUntil([&] { return (shot = WindowGeometry(x.Display(), window)) && same(*shot, full_screen); }, 10s))
        << "full screen is " << text(shot);
    RunAndCapture({"xdotool", "key", key}, env);
    ASSERT_TRUE(
        WaitUntil([&] { return (shot = WindowGeometry(x.Display(), window)) && !same(*shot, full_screen); }, 10s))
        << "never left full screen";
    shot = settled();
    ASSERT_TRUE(shot && same(*shot, *first)) << "first " << text(first) << ", now " << text(shot);
  }
  EXPECT_TRUE(velkor.Running()) << ReadFile(dir.Path() / "velkor.log");
}

TEST(Window, ComesBackToItsFirstPlaceAfterEveryFullScreenTrip) {
  const Desktop desktops[] = {
      {"openbox", WindowManagerKind::kOpenbox},
      {"fluxbox", WindowManagerKind::kFluxbox},
      {"xfwm4", WindowManagerKind::kXfwm4},
      {"icewm", WindowManagerKind::kIcewm},
      {"no window manager", std::nullopt},
  };
  for (const Desktop& desktop : desktops) {
    SCOPED_TRACE(desktop.name);
    ComesBackAfterEveryTrip(desktop);
  }
}

}  // namespace
