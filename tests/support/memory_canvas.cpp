#include "support/memory_canvas.h"

#include <algorithm>
#include <cstring>

namespace testing_support {

MemoryCanvas::MemoryCanvas(int width, int height, int bits_per_pixel)
    : width_(width), height_(height), bits_(bits_per_pixel),
      bytes_(static_cast<std::size_t>(width) * height * (bits_per_pixel / 8)) {}

bool MemoryCanvas::AcquireHandle(platform::PixelBuffer& target) {
  ++acquired;
  if (refuse) return false;
  target.pixels = bytes_.data();
  target.width = width_;
  target.height = height_;
  target.pitch = width_ * (bits_ / 8);
  target.bits_per_pixel = bits_;
  target.palette = bits_ == 8 ? &palette : nullptr;
  return true;
}

std::uint32_t MemoryCanvas::At(int x, int y) const {
  if (bits_ == 8) return bytes_[static_cast<std::size_t>(y) * width_ + x];
  std::uint32_t v;
  std::memcpy(&v, &bytes_[(static_cast<std::size_t>(y) * width_ + x) * 4], 4);
  return v;
}

int MemoryCanvas::CountNot(std::uint32_t background) const {
  int n = 0;
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x) n += At(x, y) != background;
  return n;
}

void MemoryCanvas::Clear(std::uint32_t value) {
  if (bits_ == 8) {
    std::fill(bytes_.begin(), bytes_.end(), static_cast<std::uint8_t>(value));
    return;
  }
  for (std::size_t i = 0; i < bytes_.size(); i += 4) std::memcpy(&bytes_[i], &value, 4);
}

}  // namespace testing_support
