#include "app/graphics.h"

#include <algorithm>
#include <cstring>

#include "platform/text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace app {
namespace {

// The pixel value of a colour on the target: the colour itself at 32 bits, the nearest entry of
// the palette in force at 8 bits (the first of equally near ones), as the drawing layer maps it.
std::uint32_t DeviceValue(const platform::PixelBuffer& target, TColor color) {
  platform::Rgb rgb = ToRgb(color & 0xFFFFFF);
  if (target.bits_per_pixel == 32) return rgb;
  return NearestPaletteIndex(*target.palette, rgb);
}

// Fills columns [x1, x2) of row y, clipped to the target.
void FillSpan(const platform::PixelBuffer& target, int y, int x1, int x2, std::uint32_t value) {
  if (y < 0 || y >= target.height) return;
  x1 = std::max(x1, 0);
  x2 = std::min(x2, target.width);
  if (x1 >= x2) return;
  std::uint8_t* row = target.pixels + static_cast<std::ptrdiff_t>(y) * target.pitch;
  if (target.bits_per_pixel == 32)
    std::fill(reinterpret_cast<std::uint32_t*>(row) + x1, reinterpret_cast<std::uint32_t*>(row) + x2, value);
  else
    std::memset(row + x1, static_cast<int>(value), static_cast<std::size_t>(x2 - x1));
}

void FillArea(const platform::PixelBuffer& target, int x1, int y1, int x2, int y2, std::uint32_t value) {
  for (int y = std::max(y1, 0); y < std::min(y2, target.height); ++y) FillSpan(target, y, x1, x2, value);
}

// A text's mask with its top-left corner at (x, y), clipped to the target: the same pixels as its
// runs, but one select a pixel, which the compiler turns into wide operations.
template <class Pixel>
void DrawMask(const platform::PixelBuffer& target, int x, int y, const platform::TextImage& image, Pixel ink) {
  const int c1 = std::max(0, -x), c2 = std::min(image.mask_width, target.width - x);
  const int r1 = std::max(0, -y), r2 = std::min(image.mask_height, target.height - y);
  if (c1 >= c2) return;
  const int n = c2 - c1;
  for (int r = r1; r < r2; ++r) {
    const std::uint8_t* m = image.mask.data() + static_cast<std::ptrdiff_t>(r) * image.mask_width + c1;
    Pixel* d = reinterpret_cast<Pixel*>(target.pixels + static_cast<std::ptrdiff_t>(y + r) * target.pitch) + (x + c1);
    int i = 0;
#if defined(__SSE2__)
    if constexpr (sizeof(Pixel) == 4) {
      // Four pixels at a time: each mask byte widened to a whole pixel selects the ink.
      const __m128i color = _mm_set1_epi32(static_cast<int>(ink));
      for (; i + 4 <= n; i += 4) {
        std::int32_t bytes;
        std::memcpy(&bytes, m + i, 4);
        __m128i select = _mm_cvtsi32_si128(bytes);
        select = _mm_unpacklo_epi8(select, select);
        select = _mm_unpacklo_epi16(select, select);
        auto* at = reinterpret_cast<__m128i*>(d + i);
        const __m128i old = _mm_loadu_si128(at);
        _mm_storeu_si128(at, _mm_or_si128(_mm_andnot_si128(select, old), _mm_and_si128(select, color)));
      }
    }
#endif
    for (; i < n; ++i) d[i] = m[i] ? ink : d[i];
  }
}

bool Usable(const platform::PixelBuffer& t) {
  if (!t.pixels || t.width <= 0 || t.height <= 0) return false;
  if (t.bits_per_pixel == 32) return t.pitch >= t.width * 4;
  return t.bits_per_pixel == 8 && t.palette && t.pitch >= t.width;
}

}  // namespace

std::uint8_t NearestPaletteIndex(const std::array<platform::Rgb, 256>& palette, platform::Rgb rgb) {
  const int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
  int best = 0;
  int best_distance = 1 << 30;
  for (int i = 0; i < 256; ++i) {
    const platform::Rgb p = palette[i];
    const int dr = static_cast<int>((p >> 16) & 0xFF) - r, dg = static_cast<int>((p >> 8) & 0xFF) - g,
              db = static_cast<int>(p & 0xFF) - b;
    const int distance = dr * dr + dg * dg + db * db;
    if (distance < best_distance) {
      best_distance = distance;
      best = i;
      if (distance == 0) break;
    }
  }
  return static_cast<std::uint8_t>(best);
}

int FontPixels(int points) {
  // Points at 96 pixels per inch, rounded as the desktop rounds them (halves away from zero).
  int pixels = (std::abs(points) * 96 + 36) / 72;
  return std::clamp(pixels, 1, platform::TextRenderer::kMaxPixelSize);
}

bool TCanvas::RequireHandle() {
  if (has_handle_) return true;
  platform::PixelBuffer target;
  if (!AcquireHandle(target) || !Usable(target)) return false;
  target_ = target;
  has_handle_ = true;
  return true;
}

void TCanvas::TextOut(int X, int Y, const std::string& Text) {
  if (!RequireHandle()) return;
  const platform::TextImage& image = platform::TextRenderer::Shared().Render(Text, FontPixels(Font.Size));
  if (Brush.Style == bsSolid)
    FillArea(target_, X, Y, X + image.width, Y + image.height, DeviceValue(target_, Brush.Color));
  const std::uint32_t ink = DeviceValue(target_, Font.Color);
  if (!image.mask.empty()) {
    if (target_.bits_per_pixel == 32)
      DrawMask<std::uint32_t>(target_, X + image.mask_left, Y + image.mask_top, image, ink);
    else
      DrawMask<std::uint8_t>(target_, X + image.mask_left, Y + image.mask_top, image, static_cast<std::uint8_t>(ink));
    return;
  }
  for (const platform::TextImage::Run& run : image.runs) FillSpan(target_, Y + run.y, X + run.x, X + run.x + run.length, ink);
}

int TCanvas::TextWidth(const std::string& Text) {
  return platform::TextRenderer::Shared().Render(Text, FontPixels(Font.Size)).width;
}

int TCanvas::TextHeight(const std::string& Text) {
  return platform::TextRenderer::Shared().Render(Text, FontPixels(Font.Size)).height;
}

void TCanvas::Rectangle(int X1, int Y1, int X2, int Y2) {
  if (!RequireHandle()) return;
  if (X2 < X1) std::swap(X1, X2);
  if (Y2 < Y1) std::swap(Y1, Y2);
  if (X1 == X2 || Y1 == Y2) return;
  if (Brush.Style == bsSolid) FillArea(target_, X1, Y1, X2, Y2, DeviceValue(target_, Brush.Color));
  // The pen runs along the outermost pixels inside the rectangle (the right and bottom edges
  // are excluded); a wider pen grows around that line, its extra pixel up and to the left, as
  // the desktop's wide pens do.
  const int width = std::max(Pen.Width, 1);
  const int grow = width / 2;
  const int left = X1 - grow, top = Y1 - grow, right = X2 - 1 - grow, bottom = Y2 - 1 - grow;
  const std::uint32_t ink = DeviceValue(target_, Pen.Color);
  FillArea(target_, left, top, right + width, top + width, ink);
  FillArea(target_, left, bottom, right + width, bottom + width, ink);
  FillArea(target_, left, top, left + width, bottom + width, ink);
  FillArea(target_, right, top, right + width, bottom + width, ink);
}

void TCanvas::FillRect(int X1, int Y1, int X2, int Y2) {
  if (!RequireHandle() || Brush.Style == bsClear) return;
  if (X2 < X1) std::swap(X1, X2);
  if (Y2 < Y1) std::swap(Y1, Y2);
  FillArea(target_, X1, Y1, X2, Y2, DeviceValue(target_, Brush.Color));
}

}  // namespace app
