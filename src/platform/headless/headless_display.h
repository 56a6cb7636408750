#pragma once
// The headless screen: surfaces in memory, a desktop of 1024 x 768 at 32 bits, the emulated
// 8-bit modes, and a record of what the windows show, which tests read back pixel by pixel.
#include <cstdint>
#include <vector>

#include "platform/display_memory.h"

namespace platform {

class HeadlessPlatform;

class HeadlessDisplay : public MemoryDisplay {
 public:
  explicit HeadlessDisplay(HeadlessPlatform& platform);

  std::vector<DisplayMode> Modes() override { return modes_; }
  void WindowClientSize(Window& window, int& width, int& height) override;
  bool EnterFullScreen(Window& window, const DisplayMode& mode) override;
  void LeaveFullScreen(Window& window) override;
  void Show(Window& window, const PixelBuffer& primary) override;
  void WaitForVerticalBlank() override;

  // --- Controls for tests ---
  // The modes the display offers (by default 320 x 240, 640 x 480, 800 x 600 and 1024 x 768
  // at 8 bits, and the desktop's 1024 x 768 at 32 bits).
  void SetModes(std::vector<DisplayMode> modes) { modes_ = std::move(modes); }
  // The window that is full screen (0 for none) and its mode.
  std::uint32_t FullScreenWindow() const { return full_screen_window_; }
  const DisplayMode& FullScreenMode() const { return full_screen_mode_; }
  // What the screen shows: the last picture a window showed, as 0x00RRGGBB.
  int Shows() const { return shows_; }
  std::uint32_t ShownWindow() const { return shown_window_; }
  int ShownWidth() const { return shown_width_; }
  int ShownHeight() const { return shown_height_; }
  Rgb ShownPixel(int x, int y) const;

 private:
  HeadlessPlatform& platform_;
  std::vector<DisplayMode> modes_;
  std::uint32_t full_screen_window_ = 0;
  DisplayMode full_screen_mode_;
  int shows_ = 0;
  std::uint32_t shown_window_ = 0;
  int shown_width_ = 0, shown_height_ = 0;
  std::vector<Rgb> shown_;
};

}  // namespace platform
