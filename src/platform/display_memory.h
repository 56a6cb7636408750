#pragma once
// The screen's devices, surfaces, palettes and clippers, kept in memory and shared by both
// backends. A backend says which display modes it offers, how big a window's client area is,
// how a window goes full screen and back, how a window shows the primary surface, and how the
// vertical-blank wait is paced.
#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "platform/display.h"

namespace platform {

struct DeviceState;

class MemoryDisplay : public Display {
 public:
  MemoryDisplay();
  ~MemoryDisplay() override;

  DisplayResult CreateDevice(std::unique_ptr<DisplayDevice>& out) override;
  DisplayResult SystemPalette(std::array<Rgb, 256>& out) override;

  // Every surface of every device is lost, as when the render device goes away.
  void LoseSurfaces();
  // How many bytes of surfaces may lie in video memory (unlimited unless set).
  void SetVideoMemory(std::uint64_t bytes) { video_memory_ = bytes; }
  std::uint64_t VideoMemory() const { return video_memory_; }

  // --- Backend hooks ---
  // The modes offered: the real ones (32 bits) and the emulated 8-bit ones.
  virtual std::vector<DisplayMode> Modes() = 0;
  // The window's client area in the program's pixels.
  virtual void WindowClientSize(Window& window, int& width, int& height) = 0;
  virtual bool EnterFullScreen(Window& window, const DisplayMode& mode) = 0;
  virtual void LeaveFullScreen(Window& window) = 0;
  // The primary surface changed: show it in the window. For 8 bits per pixel `primary.palette`
  // holds the colours in force.
  virtual void Show(Window& window, const PixelBuffer& primary) = 0;
  virtual void WaitForVerticalBlank() = 0;

 private:
  friend class MemoryDevice;
  std::vector<std::weak_ptr<DeviceState>> devices_;
  std::uint64_t video_memory_ = std::numeric_limits<std::uint64_t>::max();
};

// What ScaleNearest last put on a target, so that the next picture rewrites only the rows whose
// source pixels changed (most of a screen stays from one frame to the next). It holds while
// nothing else writes the target's pixels: whoever cannot be sure of that (a new window surface)
// calls Forget. Kept by ScaleNearest alone.
struct ShownPicture {
  void Forget() { valid = false; }

  bool valid = false;
  PixelBuffer target;                // its pixels, size and pitch
  Rect dest{};
  Rgb alpha = 0;
  int width = 0, height = 0, bits_per_pixel = 0;  // the source's
  std::array<Rgb, 256> palette{};    // the source's colours, at 8 bits per pixel
  std::vector<std::uint8_t> rows;    // the source's rows as last shown
};

// Enlarges (or shrinks) a surface's pixels, nearest-neighbour and through its palette when it
// has 8 bits per pixel, onto rectangle `dest` of a 32-bit target; the rest of the target stays.
// `alpha` is added to every pixel written; `columns` is scratch space, kept between calls so
// that showing a frame allocates nothing. With `shown`, rows that are as they were last time
// are left as the target has them.
void ScaleNearest(const PixelBuffer& src, const PixelBuffer& target, const Rect& dest, Rgb alpha,
                  std::vector<int>& columns, ShownPicture* shown = nullptr);

// A surface's pixels as 0x00RRGGBB, through its palette when it has 8 bits per pixel.
void ExpandToRgb(const PixelBuffer& src, std::vector<Rgb>& out);

}  // namespace platform
