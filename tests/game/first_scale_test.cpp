// The real program's first window size on desktops of a few sizes, bare and with a window
// manager and a panel: the largest whole scale whose window, frame included, fits within nine
// tenths of the usable desktop.
#include <gtest/gtest.h>

#include <memory>

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

}  // namespace
