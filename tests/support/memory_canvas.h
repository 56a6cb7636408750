#pragma once
// A canvas over pixels in memory, for drawing tests that need no display.
#include <array>
#include <cstdint>
#include <vector>

#include "app/graphics.h"

namespace testing_support {

class MemoryCanvas : public app::TCanvas {
 public:
  // 32 or 8 bits per pixel; the 8-bit palette starts all black.
  MemoryCanvas(int width, int height, int bits_per_pixel);

  // The raw value at (x, y): 0x00RRGGBB or a palette index.
  std::uint32_t At(int x, int y) const;
  // Pixels whose value differs from `background`.
  int CountNot(std::uint32_t background) const;
  void Clear(std::uint32_t value);
  // Gives the device context back, as a surface's owner does before presenting.
  void Release() { DropHandle(); }

  std::array<platform::Rgb, 256> palette{};
  bool refuse = false;  // AcquireHandle fails, as a lost surface's would
  int acquired = 0;

 protected:
  bool AcquireHandle(platform::PixelBuffer& target) override;

 private:
  int width_, height_, bits_;
  std::vector<std::uint8_t> bytes_;
};

}  // namespace testing_support
