// Arbitrary bytes as a stored picture: the reader must refuse what is not a picture with its
// errors, and a picture it accepts must draw without reaching outside any buffer.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/sysutils.h"
#include "media/dib.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  media::TPicture picture;
  try {
    picture.LoadFromData({data, size});
  } catch (const app::Exception&) {
    return 0;
  }
  const media::TGraphic* graphic = picture.Graphic();
  if (!graphic) return 0;
  const int w = graphic->Width(), h = graphic->Height();
  if (w <= 0 || h <= 0) __builtin_trap();
  const auto* dib = dynamic_cast<const media::TDIB*>(graphic);
  if (!dib || dib->Size() < static_cast<std::size_t>(dib->WidthBytes()) * static_cast<std::size_t>(h)) __builtin_trap();

  // Draw it whole, shrunk or enlarged onto small targets of both screen formats, and partly off them.
  static std::array<platform::Rgb, 256> palette = [] {
    std::array<platform::Rgb, 256> p{};
    for (std::size_t i = 0; i < 256; ++i) p[i] = static_cast<platform::Rgb>(i * 0x010101);
    return p;
  }();
  std::vector<std::uint8_t> eight(24 * 16), wide(24 * 16 * 4);
  const platform::PixelBuffer targets[2] = {{eight.data(), 24, 16, 24, 8, &palette}, {wide.data(), 24, 16, 96, 32, nullptr}};
  for (const platform::PixelBuffer& t : targets) {
    graphic->StretchDraw(t, {0, 0, 24, 16}, {0, 0, w, h});
    graphic->StretchDraw(t, {-5, -3, 19, 13}, {w / 2, h / 2, w, h});
  }
  return 0;
}
