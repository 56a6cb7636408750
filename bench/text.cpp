// Text throughput as the title screen needs it: many small "Velkor" texts at size 10, scattered
// over a 320 x 240 surface in random colours. Our canvas (each text rendered once, then drawn
// from its kept image) beside the plain way (render with SDL_ttf and blit, every call), on a
// 32-bit and on an 8-bit surface.
#include <SDL.h>
#include <SDL_ttf.h>
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "app/graphics.h"
#include "app/sysutils.h"
#include "platform/text.h"

namespace {

constexpr int kWidth = 320, kHeight = 240;
constexpr int kTexts = 200;

// A palette like an 8-bit screen's: a 6x6x6 colour cube and a grey ramp.
std::array<platform::Rgb, 256> MakePalette() {
  std::array<platform::Rgb, 256> palette{};
  for (int i = 0; i < 216; ++i)
    palette[i] = static_cast<platform::Rgb>(((i / 36) * 51) << 16 | ((i / 6 % 6) * 51) << 8 | (i % 6) * 51);
  for (int i = 216; i < 256; ++i) palette[i] = static_cast<platform::Rgb>((i - 216) * 6 * 0x010101);
  return palette;
}

class BufferCanvas : public app::TCanvas {
 public:
  explicit BufferCanvas(int bits) : bits_(bits), bytes_(static_cast<std::size_t>(kWidth) * kHeight * bits / 8) {}
  std::array<platform::Rgb, 256> palette = MakePalette();

 protected:
  bool AcquireHandle(platform::PixelBuffer& t) override {
    t = {bytes_.data(), kWidth, kHeight, kWidth * bits_ / 8, bits_, bits_ == 8 ? &palette : nullptr};
    return true;
  }

 private:
  int bits_;
  std::vector<std::uint8_t> bytes_;
};

// The title's scatter: colour, then y, then x, from the program's generator.
struct Scatter {
  app::TColor color;
  int x, y;
};
Scatter Next() {
  Scatter s;
  s.color = static_cast<app::TColor>(app::Random(16777215));
  s.y = app::Random(120);
  s.x = app::Random(320) - 20;
  return s;
}

void CanvasScatter(benchmark::State& state, int bits) {
  BufferCanvas canvas(bits);
  canvas.Brush.Style = app::bsClear;
  canvas.Font.Size = 10;
  app::RandSeed = 1;
  for (auto _ : state) {
    for (int i = 0; i < kTexts; ++i) {
      Scatter s = Next();
      canvas.Font.Color = s.color;
      canvas.TextOut(s.x, s.y, "Velkor");
    }
  }
  state.SetItemsProcessed(state.iterations() * kTexts);
}

void PlainTtfScatter(benchmark::State& state, int bits) {
  if (TTF_Init() != 0) throw std::runtime_error(TTF_GetError());
  const platform::FontFace face = platform::FindTextFace();
  TTF_Font* font = TTF_OpenFontIndex(face.file.c_str(), app::FontPixels(10), face.index);
  if (!font) throw std::runtime_error(TTF_GetError());
  TTF_SetFontKerning(font, 0);
  SDL_Surface* target = SDL_CreateRGBSurfaceWithFormat(
      0, kWidth, kHeight, bits, bits == 8 ? SDL_PIXELFORMAT_INDEX8 : SDL_PIXELFORMAT_XRGB8888);
  if (bits == 8) {
    std::array<SDL_Color, 256> colors;
    const auto palette = MakePalette();
    for (int i = 0; i < 256; ++i)
      colors[i] = {Uint8(palette[i] >> 16), Uint8(palette[i] >> 8), Uint8(palette[i]), 255};
    SDL_SetPaletteColors(target->format->palette, colors.data(), 0, 256);
  }
  app::RandSeed = 1;
  for (auto _ : state) {
    for (int i = 0; i < kTexts; ++i) {
      Scatter s = Next();
      const SDL_Color color{Uint8(s.color), Uint8(s.color >> 8), Uint8(s.color >> 16), 255};
      SDL_Surface* text = TTF_RenderUTF8_Solid(font, "Velkor", color);
      SDL_Rect at{s.x, s.y, 0, 0};
      SDL_BlitSurface(text, nullptr, target, &at);
      SDL_FreeSurface(text);
    }
  }
  state.SetItemsProcessed(state.iterations() * kTexts);
  SDL_FreeSurface(target);
  TTF_CloseFont(font);
  TTF_Quit();
}

BENCHMARK_CAPTURE(CanvasScatter, surface32, 32);
BENCHMARK_CAPTURE(PlainTtfScatter, surface32, 32);
BENCHMARK_CAPTURE(CanvasScatter, surface8, 8);
BENCHMARK_CAPTURE(PlainTtfScatter, surface8, 8);

}  // namespace
