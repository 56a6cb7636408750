#include "platform/headless/headless_display.h"

#include "platform/headless/headless_platform.h"

namespace platform {

HeadlessDisplay::HeadlessDisplay(HeadlessPlatform& platform)
    : platform_(platform),
      modes_{{320, 240, 8},
             {640, 480, 8},
             {800, 600, 8},
             {HeadlessPlatform::kDesktopWidth, HeadlessPlatform::kDesktopHeight, 8},
             {HeadlessPlatform::kDesktopWidth, HeadlessPlatform::kDesktopHeight, 32}} {}

void HeadlessDisplay::WindowClientSize(Window& window, int& width, int& height) {
  WindowPlacement p = window.Placement();
  width = p.width;
  height = p.height;
}

bool HeadlessDisplay::EnterFullScreen(Window& window, const DisplayMode& mode) {
  full_screen_window_ = window.Id();
  full_screen_mode_ = mode;
  return true;
}

void HeadlessDisplay::LeaveFullScreen(Window& window) {
  if (full_screen_window_ == window.Id()) full_screen_window_ = 0;
  full_screen_mode_ = {};
}

void HeadlessDisplay::Show(Window& window, const PixelBuffer& primary) {
  ++shows_;
  shown_window_ = window.Id();
  shown_width_ = primary.width;
  shown_height_ = primary.height;
  ExpandToRgb(primary, shown_);
}

void HeadlessDisplay::WaitForVerticalBlank() { platform_.WaitForVerticalBlank(); }

Rgb HeadlessDisplay::ShownPixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= shown_width_ || y >= shown_height_) return 0;
  return shown_[static_cast<std::size_t>(y) * static_cast<std::size_t>(shown_width_) + static_cast<std::size_t>(x)];
}

}  // namespace platform
