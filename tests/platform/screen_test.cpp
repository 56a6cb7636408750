// The screen's shared helpers: the window's first scale, the letter-boxed full-screen picture and
// the nearest-neighbour enlargement that shows a surface in a window.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "platform/display_memory.h"

namespace {

TEST(Screen, FirstScaleIsTheLargestWhoseFramedWindowFitsNineTenthsOfTheUsableDesktop) {
  struct Case {
    int width, height, frame_width, frame_height, scale;
  };
  const Case cases[] = {
      {1280, 690, 2, 26, 2},    // 1280 x 720 with a 30-pixel taskbar: 640 x 480
      {1920, 1050, 2, 26, 3},   // 1080p with the taskbar: 960 x 720
      {3840, 2130, 2, 26, 7},   // 4K with the taskbar: 2240 x 1680
      {1920, 1080, 0, 0, 4},    // no window manager, no frame: 960 fits within 972
      {1920, 1080, 2, 26, 3},   // but not with a frame around it
      {1280, 1024, 0, 0, 3},    // 960 x 720 within 1152 x 921
      {1280, 800, 0, 0, 3},     // 720 within 720
      {1280, 799, 0, 0, 2},
      {800, 600, 0, 0, 2},
      {320, 200, 0, 0, 1},      // never below 1, even where nothing fits
      {0, 0, 0, 0, 1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(platform::WindowScaleFor(c.width, c.height, 320, 240, c.frame_width, c.frame_height), c.scale)
        << c.width << "x" << c.height << " frame " << c.frame_width << "x" << c.frame_height;
}

TEST(Screen, FullScreenPictureKeepsItsShapeBetweenBlackBars) {
  EXPECT_EQ(platform::FitPicture(320, 240, 1280, 1024), (platform::Rect{0, 32, 1280, 992}));
  EXPECT_EQ(platform::FitPicture(320, 240, 1920, 1080), (platform::Rect{240, 0, 1680, 1080}));
  EXPECT_EQ(platform::FitPicture(320, 240, 640, 480), (platform::Rect{0, 0, 640, 480}));
  EXPECT_TRUE(platform::FitPicture(320, 240, 0, 480).Empty());
}

TEST(Screen, EnlargesNearestNeighbourThroughThePalette) {
  std::array<platform::Rgb, 256> palette{};
  palette[1] = 0x112233;
  palette[2] = 0x445566;
  palette[3] = 0x778899;
  std::vector<std::uint8_t> picture = {1, 2, 3, 0, 3, 2, 1, 0};  // 3 x 2, rows padded to 4
  const platform::PixelBuffer src{picture.data(), 3, 2, 4, 8, &palette};
  std::vector<std::uint32_t> out(7 * 5, 0xABCDEF);
  const platform::PixelBuffer target{reinterpret_cast<std::uint8_t*>(out.data()), 7, 5, 28, 32, nullptr};
  std::vector<int> scratch;
  // Twice as large at (1, 1), and the last column runs off the target.
  platform::ScaleNearest(src, target, {1, 1, 7, 5}, 0xFF000000u, scratch);
  const std::uint32_t a = 0xFF112233, b = 0xFF445566, c = 0xFF778899, k = 0xABCDEF;
  EXPECT_EQ(out, (std::vector<std::uint32_t>{
                     k, k, k, k, k, k, k,  //
                     k, a, a, b, b, c, c,  //
                     k, a, a, b, b, c, c,  //
                     k, c, c, b, b, a, a,  //
                     k, c, c, b, b, a, a,  //
                 }));

  // 32-bit pixels shrink as well as grow.
  std::vector<std::uint32_t> wide = {1, 2, 3, 4};
  const platform::PixelBuffer src32{reinterpret_cast<std::uint8_t*>(wide.data()), 4, 1, 16, 32, nullptr};
  std::vector<std::uint32_t> half(2, 0);
  platform::ScaleNearest(src32, {reinterpret_cast<std::uint8_t*>(half.data()), 2, 1, 8, 32, nullptr}, {0, 0, 2, 1}, 0,
                         scratch);
  EXPECT_EQ(half, (std::vector<std::uint32_t>{1, 3}));
}

// With a memory of what it last showed, the enlargement rewrites only the rows whose source
// changed, and everything once anything else about the picture changed. The target is scribbled
// over between the two pictures, so every row it did not rewrite shows.
TEST(Screen, ShownPictureRewritesChangedRowsAndAllOfItWhenAnythingElseChanged) {
  constexpr int sw = 4, sh = 3, k = 2, tw = sw * k + 2, th = sh * k + 2;
  constexpr std::uint32_t kScribble = 0x777777;
  struct Case {
    const char* what;
    bool whole;  // everything rewritten
    std::function<void(std::vector<std::uint8_t>& src, std::array<platform::Rgb, 256>& palette,
                       platform::Rect& dest, platform::Rgb& alpha, platform::ShownPicture& shown)>
        change;
  };
  const Case cases[] = {
      {"one source row", false, [](auto& src, auto&, auto&, auto&, auto&) { src[1 * sw + 2] = 9; }},
      {"the palette", true, [](auto&, auto& palette, auto&, auto&, auto&) { palette[5] = 0x00ABCD; }},
      {"the place", true, [](auto&, auto&, auto& dest, auto&, auto&) { dest = {0, 0, sw * k, sh * k}; }},
      {"the alpha", true, [](auto&, auto&, auto&, auto& alpha, auto&) { alpha = 0; }},
      {"forgotten", true, [](auto&, auto&, auto&, auto&, auto& shown) { shown.Forget(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::array<platform::Rgb, 256> palette{};
    for (int i = 0; i < 256; ++i) palette[static_cast<std::size_t>(i)] = static_cast<platform::Rgb>(0x030201 * i);
    std::vector<std::uint8_t> src(sw * sh);
    for (int i = 0; i < sw * sh; ++i) src[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i + 1);
    platform::Rect dest{1, 1, 1 + sw * k, 1 + sh * k};
    platform::Rgb alpha = 0xFF000000u;
    std::vector<std::uint32_t> out(tw * th, 0);
    const platform::PixelBuffer target{reinterpret_cast<std::uint8_t*>(out.data()), tw, th, tw * 4, 32, nullptr};
    std::vector<int> scratch;
    platform::ShownPicture shown;
    platform::ScaleNearest({src.data(), sw, sh, sw, 8, &palette}, target, dest, alpha, scratch, &shown);
    std::fill(out.begin(), out.end(), kScribble);
    const std::vector<std::uint8_t> before = src;
    c.change(src, palette, dest, alpha, shown);
    platform::ScaleNearest({src.data(), sw, sh, sw, 8, &palette}, target, dest, alpha, scratch, &shown);
    std::size_t wrong = 0;
    for (int y = 0; y < th; ++y)
      for (int x = 0; x < tw; ++x) {
        std::uint32_t want = kScribble;
        const int px = x - dest.left, py = y - dest.top;
        if (px >= 0 && py >= 0 && px < sw * k && py < sh * k) {
          const int sy = py / k;
          const bool row_changed =
              !std::equal(src.begin() + sy * sw, src.begin() + (sy + 1) * sw, before.begin() + sy * sw);
          if (c.whole || row_changed) want = alpha | palette[src[static_cast<std::size_t>(sy * sw + px / k)]];
        }
        wrong += out[static_cast<std::size_t>(y * tw + x)] != want;
      }
    EXPECT_EQ(wrong, 0u);
  }
}

// Whole scales take their own path (each row widened once, then copied): every scale of a
// window or a 4:3 screen, from 8 and 32 bits, into a target with room around the picture.
TEST(Screen, EnlargesByWholeScalesPixelForPixel) {
  std::array<platform::Rgb, 256> palette{};
  for (int i = 0; i < 256; ++i) palette[static_cast<std::size_t>(i)] = static_cast<platform::Rgb>(0x010203 * i);
  const int sw = 5, sh = 3;
  std::vector<std::uint8_t> indices(8 * sh, 0xEE);  // rows padded to 8
  std::vector<std::uint32_t> rgb(6 * sh, 0xDEAD);    // rows padded to 6
  for (int y = 0; y < sh; ++y)
    for (int x = 0; x < sw; ++x) {
      indices[static_cast<std::size_t>(y * 8 + x)] = static_cast<std::uint8_t>(y * sw + x + 1);
      rgb[static_cast<std::size_t>(y * 6 + x)] = static_cast<std::uint32_t>(0x100000 * (y + 1) + x);
    }
  const platform::PixelBuffer src8{indices.data(), sw, sh, 8, 8, &palette};
  const platform::PixelBuffer src32{reinterpret_cast<std::uint8_t*>(rgb.data()), sw, sh, 24, 32, nullptr};
  struct Case {
    int kx, ky;
  };
  const Case cases[] = {{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}, {7, 7}, {8, 8}, {9, 9}, {12, 12}, {3, 2}};
  std::vector<int> scratch;
  for (const Case& c : cases)
    for (const platform::PixelBuffer* src : {&src8, &src32}) {
      const int tw = sw * c.kx + 3, th = sh * c.ky + 2;
      std::vector<std::uint32_t> out(static_cast<std::size_t>(tw * th), 0x777777);
      const platform::PixelBuffer target{reinterpret_cast<std::uint8_t*>(out.data()), tw, th, tw * 4, 32, nullptr};
      platform::ScaleNearest(*src, target, {2, 1, 2 + sw * c.kx, 1 + sh * c.ky}, 0xFF000000u, scratch);
      std::size_t wrong = 0;
      for (int y = 0; y < th; ++y)
        for (int x = 0; x < tw; ++x) {
          std::uint32_t want = 0x777777;
          const int px = x - 2, py = y - 1;
          if (px >= 0 && py >= 0 && px < sw * c.kx && py < sh * c.ky) {
            const int sx = px / c.kx, sy = py / c.ky;
            want = 0xFF000000u | (src == &src8 ? palette[indices[static_cast<std::size_t>(sy * 8 + sx)]]
                                               : rgb[static_cast<std::size_t>(sy * 6 + sx)]);
          }
          wrong += out[static_cast<std::size_t>(y * tw + x)] != want;
        }
      EXPECT_EQ(wrong, 0u) << c.kx << "x" << c.ky << " from " << src->bits_per_pixel << " bits";
    }
}

}  // namespace
