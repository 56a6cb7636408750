// The screen's shared helpers: the window's whole scale, the letter-boxed full-screen picture and
// the nearest-neighbour enlargement that shows a surface in a window.
#include <gtest/gtest.h>

#include <vector>

#include "platform/display_memory.h"

namespace {

TEST(Screen, WindowScaleIsTheLargestThatFitsTwoThirdsOfTheDesktop) {
  struct Case {
    int width, height, scale;
  };
  const Case cases[] = {{1280, 1024, 2}, {1920, 1080, 3}, {2560, 1440, 4}, {3840, 2160, 6}, {800, 600, 1}, {320, 200, 1}};
  for (const Case& c : cases)
    EXPECT_EQ(platform::WindowScaleFor(c.width, c.height, 320, 240), c.scale) << c.width << "x" << c.height;
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

}  // namespace
