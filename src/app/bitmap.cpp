#include "app/bitmap.h"

#include <algorithm>

namespace app {

bool TBitmapCanvas::AcquireHandle(platform::PixelBuffer& target) {
  if (bitmap_.Width() <= 0 || bitmap_.Height() <= 0) return false;
  target = bitmap_.Pixels();
  return true;
}

TBitmap::TBitmap(int width, int height) { SetSize(width, height); }

void TBitmap::SetSize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == width_ && height == height_) return;
  width_ = width;
  height_ = height;
  pixels_.assign(static_cast<std::size_t>(width) * height, 0);
  canvas_.Changed();
}

platform::PixelBuffer TBitmap::Pixels() {
  platform::PixelBuffer buffer;
  buffer.pixels = reinterpret_cast<std::uint8_t*>(pixels_.data());
  buffer.width = width_;
  buffer.height = height_;
  buffer.pitch = width_ * 4;
  buffer.bits_per_pixel = 32;
  return buffer;
}

platform::Rgb TBitmap::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  return pixels_[static_cast<std::size_t>(y) * width_ + x];
}

void TBitmap::Fill(int x1, int y1, int x2, int y2, TColor color) {
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  x2 = std::min(x2, width_);
  y2 = std::min(y2, height_);
  const platform::Rgb rgb = ToRgb(color);
  for (int y = y1; y < y2; ++y)
    std::fill_n(pixels_.begin() + static_cast<std::ptrdiff_t>(y) * width_ + x1, std::max(x2 - x1, 0), rgb);
}

void TBitmap::DrawOn(TBitmap& target, int x, int y) const {
  const int x1 = std::max(x, 0), x2 = std::min(x + width_, target.width_);
  const int y1 = std::max(y, 0), y2 = std::min(y + height_, target.height_);
  if (x1 >= x2) return;
  for (int ty = y1; ty < y2; ++ty) {
    auto from = pixels_.begin() + static_cast<std::ptrdiff_t>(ty - y) * width_ + (x1 - x);
    std::copy(from, from + (x2 - x1), target.pixels_.begin() + static_cast<std::ptrdiff_t>(ty) * target.width_ + x1);
  }
}

}  // namespace app
