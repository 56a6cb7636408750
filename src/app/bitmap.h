#pragma once
// A 32-bit picture in memory with a canvas that draws on it: where forms draw their controls
// before the platform shows them in the form's window.
#include <memory>
#include <vector>

#include "app/graphics.h"

namespace app {

class TBitmap;

class TBitmapCanvas : public TCanvas {
 public:
  explicit TBitmapCanvas(TBitmap& bitmap) : bitmap_(bitmap) {}
  // The picture changed its size; the next drawing call takes its pixels anew.
  void Changed() { DropHandle(); }

 protected:
  bool AcquireHandle(platform::PixelBuffer& target) override;

 private:
  TBitmap& bitmap_;
};

class TBitmap {
 public:
  TBitmap(int width = 0, int height = 0);
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;

  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetSize(int width, int height);
  TCanvas& Canvas() { return canvas_; }
  platform::PixelBuffer Pixels();

  // 0x00RRGGBB at (x, y); 0 outside.
  platform::Rgb Pixel(int x, int y) const;
  // Fills the rectangle from (x1, y1) to (x2, y2), right and bottom edges excluded, clipped.
  void Fill(int x1, int y1, int x2, int y2, TColor color);
  // Copies the whole picture into `target` with its top-left corner at (x, y), clipped.
  void DrawOn(TBitmap& target, int x, int y) const;

 private:
  int width_ = 0, height_ = 0;
  std::vector<platform::Rgb> pixels_;
  TBitmapCanvas canvas_{*this};
};

}  // namespace app
