// The real program's first window size on desktops of a few sizes, bare and with a window
// manager and a panel: the largest whole scale whose window, frame included, fits within nine
// tenths of the usable desktop.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "support/harness.h"
#include "support/process.h"

namespace {

using namespace testing_support;
using namespace std::chrono_literals;

struct Desktop {
  int width, height;
  bool window_manager;
  int panel;  // height of the panel along the bottom, 0 for none
  int client_width, client_height;
};

TEST(FirstScale, TheWindowFillsNineTenthsOfTheUsableDesktopAtAWholeScale) {
  const Desktop desktops[] = {
      {1280, 720, true, 30, 640, 480},      // two thirds of it held only 320 x 240
      {1920, 1080, true, 30, 960, 720},     // and here only 640 x 480
      {1920, 1080, true, 0, 960, 720},      // 960 fits 972, but not with the frame on top
      {1920, 1080, false, 0, 1280, 960},    // no window manager: no frame
      {3840, 2160, true, 30, 2240, 1680},
  };
  for (const Desktop& d : desktops) {
    SCOPED_TRACE(std::to_string(d.width) + "x" + std::to_string(d.height) + (d.window_manager ? " framed" : " bare") +
                 " panel " + std::to_string(d.panel));
    ScopedTempDir dir;
    VirtualX x(d.width, d.height, 24);
    std::unique_ptr<WindowManager> wm;
    std::unique_ptr<BottomPanel> panel;
    if (d.window_manager) wm = std::make_unique<WindowManager>(x.Display());
    if (d.panel > 0) panel = std::make_unique<BottomPanel>(x.Display(), d.panel);
    ChildProcess velkor;
    velkor.Start({VELKOR_BINARY}, {{"DISPLAY", x.Display()}, {"SDL_AUDIODRIVER", "dummy"}}, dir.Path().string(),
                 (dir.Path() / "velkor.log").string());
    const std::string id = x.WaitForWindow("^Velkor Ver 1.12$", 20s);
    ASSERT_FALSE(id.empty()) << ReadFile(dir.Path() / "velkor.log");
    // The size settles once the window manager has framed the window.
    std::vector<long> frame;
    if (d.window_manager) {
      EXPECT_TRUE(WaitUntil([&] { return (frame = FrameExtents(x.Display(), std::stoul(id))).size() == 4; }, 10s))
          << "the window manager did not frame the window";
    }
    std::optional<WindowShot> placed;
    EXPECT_TRUE(WaitUntil(
        [&] {
          placed = WindowGeometry(x.Display(), std::stoul(id));
          return placed && placed->width == d.client_width && placed->height == d.client_height;
        },
        10s))
        << "the window is " << (placed ? std::to_string(placed->width) + "x" + std::to_string(placed->height) : "gone");
    if (frame.size() == 4) {
      EXPECT_GT(frame[2], 0) << "no title bar: the case shows nothing";
      // Frame and all on the desktop, above the panel.
      ASSERT_TRUE(placed);
      EXPECT_GE(placed->y - frame[2], 0);
      EXPECT_LE(placed->y + placed->height + frame[3], d.height - d.panel);
    }
    EXPECT_TRUE(velkor.Running()) << ReadFile(dir.Path() / "velkor.log");
  }
}

// A hisc.dat that cannot be read is reported in a box before the game's window opens: the box is
// shown at the scale that window will get, and the same report is one line on standard error.
TEST(FirstScale, TheErrorBoxAtStartOpensAtTheScaleTheGameWillHave) {
  struct Case {
    int width, height, scale;
  };
  // On the small desktop the game opens at its design size, and so does the box: the size the
  // box must be enlarged from on the large one.
  const Case cases[] = {{640, 480, 1}, {1920, 1080, 3}};
  std::optional<WindowShot> design;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    ScopedTempDir dir;
    // The third score is not a number.
    WriteFile(dir.Path() / "hisc.dat", "100\r\n00/01/01 00:00\r\n9O\r\n00/01/01 00:00\r\n");
    VirtualX x(c.width, c.height, 24);
    WindowManager wm(x.Display());
    ChildProcess velkor;
    const auto log = dir.Path() / "velkor.log";
    velkor.Start({VELKOR_BINARY}, {{"DISPLAY", x.Display()}, {"SDL_AUDIODRIVER", "dummy"}}, dir.Path().string(),
                 log.string());
    // The box's title is Japanese, which xdotool's search by name does not match.
    std::string box;
    ASSERT_TRUE(WaitUntil(
        [&] {
          const std::string ids = x.Xdotool({"search", "--all", "--onlyvisible", "--pid", std::to_string(velkor.Pid())});
          for (std::size_t at = 0; at < ids.size() && box.empty();) {
            const std::size_t end = std::min(ids.find('\n', at), ids.size());
            const std::string id = ids.substr(at, end - at);
            if (!id.empty() && x.Xdotool({"getwindowname", id}) == reinterpret_cast<const char*>(u8"ノルダース")) box = id;
            at = end + 1;
          }
          return !box.empty();
        },
        20s))
        << ReadFile(log);
    ASSERT_TRUE(WaitUntil([&] { return FrameExtents(x.Display(), std::stoul(box)).size() == 4; }, 10s))
        << "the window manager did not frame the box";
    std::optional<WindowShot> shown;
    if (!design) {
      // The size settles once the window manager has framed the box.
      std::this_thread::sleep_for(1s);
      design = WindowGeometry(x.Display(), std::stoul(box));
      ASSERT_TRUE(design);
      EXPECT_GT(design->width, 200);
      EXPECT_GT(design->height, 50);
    } else {
      EXPECT_TRUE(WaitUntil(
          [&] {
            shown = WindowGeometry(x.Display(), std::stoul(box));
            return shown && shown->width == c.scale * design->width && shown->height == c.scale * design->height;
          },
          10s))
          << "the box is " << (shown ? std::to_string(shown->width) + "x" + std::to_string(shown->height) : "gone")
          << ", its design size " << design->width << "x" << design->height;
    }
    EXPECT_NE(ReadFile(log).find(reinterpret_cast<const char*>(
                  u8"velkor: Invalid numeric input: 読めなかった hisc.dat は hisc.dat.bak として残しました\n")),
              std::string::npos)
        << ReadFile(log);

    // Closed with Enter, the box makes way for the game, at the scale the box had.
    ASSERT_TRUE(WaitUntil([&] { return x.Xdotool({"getwindowfocus"}) == box; }, 5s));
    x.Xdotool({"key", "Return"});
    const std::string game = x.WaitForWindow("^Velkor Ver 1.12$", 20s);
    ASSERT_FALSE(game.empty()) << ReadFile(log);
    std::optional<WindowShot> placed;
    EXPECT_TRUE(WaitUntil(
        [&] {
          placed = WindowGeometry(x.Display(), std::stoul(game));
          return placed && placed->width == 320 * c.scale && placed->height == 240 * c.scale;
        },
        10s))
        << "the game's window is " << (placed ? std::to_string(placed->width) + "x" + std::to_string(placed->height) : "gone");
    EXPECT_TRUE(velkor.Running()) << ReadFile(log);
  }
}

}  // namespace
