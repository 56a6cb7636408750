#pragma once
// Colours and the canvas: font, brush and pen settings, text output and shapes on a drawing
// target (a surface's pixels, taken on demand as a device context and given back by its owner).
#include <array>
#include <cstdint>
#include <string>

#include "platform/pixels.h"

namespace app {

// A colour value: red in the low byte, green in the middle byte, blue in the high byte.
using TColor = std::uint32_t;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clOlive = 0x008080;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clPurple = 0x800080;
inline constexpr TColor clTeal = 0x808000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clYellow = 0x00FFFF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clFuchsia = 0xFF00FF;
inline constexpr TColor clAqua = 0xFFFF00;
inline constexpr TColor clWhite = 0xFFFFFF;
// The dialog face colour of the classic desktop.
inline constexpr TColor clBtnFace = 0xC0C0C0;

inline constexpr platform::Rgb ToRgb(TColor c) {
  return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

// The palette entry nearest to a colour (the first of equally near ones).
std::uint8_t NearestPaletteIndex(const std::array<platform::Rgb, 256>& palette, platform::Rgb rgb);

// The em in pixels of a font size in points, at 96 pixels per inch (10 gives 13, 80 gives 107).
int FontPixels(int points);

enum TBrushStyle { bsSolid, bsClear };

struct TFont {
  int Size = 8;  // points, at 96 pixels per inch
  TColor Color = clBlack;
};

struct TBrush {
  TBrushStyle Style = bsSolid;
  TColor Color = clWhite;
};

struct TPen {
  int Width = 1;
  TColor Color = clBlack;
};

class TCanvas {
 public:
  virtual ~TCanvas() = default;

  TFont Font;
  TBrush Brush;
  TPen Pen;

  // Text in CP932 with its cell's top-left corner at (X, Y); with a solid brush the cell is
  // filled with the brush colour first.
  void TextOut(int X, int Y, const std::string& Text);
  int TextWidth(const std::string& Text);
  int TextHeight(const std::string& Text);
  // A rectangle from (X1, Y1) to (X2, Y2), right and bottom edges excluded: its outline drawn
  // with the pen, its inside filled with a solid brush.
  void Rectangle(int X1, int Y1, int X2, int Y2);
  // Fills the rectangle with the brush colour (nothing with a clear brush).
  void FillRect(int X1, int Y1, int X2, int Y2);

  bool HandleAllocated() const { return has_handle_; }

 protected:
  // Takes the drawing target (the device context); false when none can be had, and then the
  // drawing call does nothing.
  virtual bool AcquireHandle(platform::PixelBuffer& target) = 0;
  // Forgets the target; the owner gives the device context back.
  void DropHandle() { has_handle_ = false; }

 private:
  bool RequireHandle();

  platform::PixelBuffer target_;
  bool has_handle_ = false;
};

}  // namespace app
