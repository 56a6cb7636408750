#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/graphics.h"
#include "app/sjis.h"
#include "platform/text.h"
#include "support/memory_canvas.h"

namespace {

using testing_support::MemoryCanvas;

// The canvas as a picture: '#' where the pixel is `ink`, '.' elsewhere.
std::vector<std::string> Picture(const MemoryCanvas& c, int w, int h, std::uint32_t ink) {
  std::vector<std::string> rows;
  for (int y = 0; y < h; ++y) {
    std::string row;
    for (int x = 0; x < w; ++x) row += c.At(x, y) == ink ? '#' : '.';
    rows.push_back(row);
  }
  return rows;
}

TEST(FontPixels, PointsAt96PixelsPerInch) {
  const std::pair<int, int> cases[] = {{10, 13}, {80, 107}, {58, 77}, {9, 12}, {12, 16}, {14, 19},
                                       {15, 20}, {16, 21}, {18, 24}, {20, 27}, {22, 29}, {30, 40},
                                       {40, 53}, {1, 1}, {0, 1}, {-10, 13}};
  for (auto [points, pixels] : cases) EXPECT_EQ(app::FontPixels(points), pixels) << points << " pt";
}

TEST(CanvasRectangle, OutlineFollowsTheInsideEdgeAndWidePensGrowUpAndLeft) {
  MemoryCanvas c(12, 12, 32);
  c.Brush.Style = app::bsClear;
  c.Pen.Color = app::clWhite;
  c.Rectangle(2, 3, 9, 10);
  EXPECT_EQ(Picture(c, 12, 12, 0xFFFFFF), (std::vector<std::string>{
                                               "............", "............", "............",
                                               "..#######...", "..#.....#...", "..#.....#...",
                                               "..#.....#...", "..#.....#...", "..#.....#...",
                                               "..#######...", "............", "............"}));
  c.Clear(0);
  c.Pen.Width = 2;
  c.Rectangle(9, 10, 2, 3);  // corners given the other way round draw the same
  EXPECT_EQ(Picture(c, 12, 12, 0xFFFFFF), (std::vector<std::string>{
                                               "............", "............", ".########...",
                                               ".########...", ".##....##...", ".##....##...",
                                               ".##....##...", ".##....##...", ".########...",
                                               ".########...", "............", "............"}));
}

TEST(CanvasRectangle, SolidBrushFillsTheInsideClearBrushLeavesIt) {
  MemoryCanvas c(12, 12, 32);
  c.Pen.Color = app::clWhite;
  c.Brush.Color = app::clBlue;
  c.Rectangle(2, 2, 8, 8);
  EXPECT_EQ(c.At(4, 4), 0x0000FFu);
  EXPECT_EQ(c.At(7, 7), 0xFFFFFFu);
  EXPECT_EQ(c.At(8, 8), 0u);
  c.Clear(0);
  c.Brush.Style = app::bsClear;
  c.Rectangle(2, 2, 8, 8);
  c.FillRect(0, 0, 12, 12);  // a clear brush fills nothing either
  EXPECT_EQ(c.At(4, 4), 0u);
  EXPECT_EQ(c.At(2, 2), 0xFFFFFFu);
}

TEST(CanvasRectangle, ClipsToTheTarget) {
  MemoryCanvas c(10, 10, 8);
  c.palette[1] = 0xFFFFFF;
  c.Pen.Color = app::clWhite;
  c.Pen.Width = 5;
  c.Brush.Style = app::bsClear;
  c.Rectangle(-20, -20, 40, 5);
  // Only the bottom edge lies inside: rows 4 - 2 to 4 + 2.
  for (int y = 0; y < 10; ++y) EXPECT_EQ(c.At(5, y), y >= 2 && y <= 6 ? 1u : 0u) << y;
}

class CanvasText : public ::testing::Test {
 protected:
  CanvasText() : c(320, 240, 32) {
    c.Font.Size = 10;
    c.Font.Color = app::clWhite;
    c.Brush.Color = app::clBlue;
  }
  MemoryCanvas c;
};

TEST_F(CanvasText, SolidBrushFillsExactlyTheCellAndClearBrushDrawsTheSameGlyphs) {
  const std::string text = "Velkor";
  const int w = c.TextWidth(text), h = c.TextHeight(text);
  EXPECT_EQ(h, 13);
  EXPECT_GT(w, 30);
  c.Brush.Style = app::bsSolid;
  c.TextOut(50, 60, text);
  int glyph_pixels = 0;
  for (int y = 0; y < 240; ++y) {
    for (int x = 0; x < 320; ++x) {
      const bool in_cell = x >= 50 && x < 50 + w && y >= 60 && y < 60 + h;
      const std::uint32_t v = c.At(x, y);
      if (!in_cell) ASSERT_EQ(v, 0u) << x << "," << y;
      else ASSERT_TRUE(v == 0x0000FFu || v == 0xFFFFFFu) << x << "," << y;
      glyph_pixels += v == 0xFFFFFFu;
    }
  }
  EXPECT_GT(glyph_pixels, 60);
  const auto solid = Picture(c, 320, 240, 0xFFFFFF);

  c.Clear(0);
  c.Brush.Style = app::bsClear;
  c.TextOut(50, 60, text);
  EXPECT_EQ(c.CountNot(0), glyph_pixels);
  EXPECT_EQ(Picture(c, 320, 240, 0xFFFFFF), solid);
}

TEST_F(CanvasText, GlyphsAreCrispInTheFontColour) {
  c.Brush.Style = app::bsClear;
  c.Font.Color = 0x123456;  // red 0x56, green 0x34, blue 0x12
  c.TextOut(10, 10, app::Sjis(u8"歴代ランキング"));
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 200; ++x) ASSERT_TRUE(c.At(x, y) == 0 || c.At(x, y) == 0x563412u) << x << "," << y;
  EXPECT_GT(c.CountNot(0), 100);
}

TEST_F(CanvasText, WidthIsTheSumOfAdvancesAndHalfWidthKanaIsNarrow) {
  for (int size : {9, 10, 16, 58, 80}) {
    c.Font.Size = size;
    EXPECT_EQ(c.TextHeight("0"), app::FontPixels(size));
    EXPECT_EQ(c.TextWidth("Velkor"),
              c.TextWidth("Vel") + c.TextWidth("k") + c.TextWidth("or"));
    const int half = c.TextWidth(app::Sjis(u8"ｱ")), full = c.TextWidth(app::Sjis(u8"ア"));
    EXPECT_GT(half, 0);
    EXPECT_LT(half, full);
    EXPECT_EQ(c.TextWidth(""), 0);
  }
  // Digits are equally wide, so scores line up right-aligned.
  c.Font.Size = 14;
  EXPECT_EQ(c.TextWidth("100"), c.TextWidth("988"));
}

TEST_F(CanvasText, TextPartlyOffTheSurfaceDrawsTheVisiblePart) {
  c.Brush.Style = app::bsSolid;
  c.Font.Size = 80;
  c.TextOut(-100, -50, "Velkor");
  c.TextOut(250, 200, app::Sjis(u8"ﾊｲｽｺｱ"));
  EXPECT_EQ(c.At(0, 0), 0x0000FFu);
  EXPECT_EQ(c.At(319, 239), 0x0000FFu);
  EXPECT_EQ(c.At(249, 239), 0u);
}

// Small texts are drawn from a mask made from their glyph runs: the same pixels, also where the
// target cuts the text on any side, and nothing else touched.
TEST(CanvasTextMask, SmallTextsCoverExactlyTheirRunsWhereverTheTargetCutsThem) {
  struct Text {
    std::string cp932;
    int size;
  };
  const Text texts[] = {{"Velkor", 10}, {app::Sjis(u8"[Esc] 終了"), 9}, {"j", 15}, {"Velkor", 20}};
  for (int bits : {32, 8}) {
    for (const Text& t : texts) {
      MemoryCanvas c(64, 40, bits);
      c.Brush.Style = app::bsClear;
      c.Font.Size = t.size;
      c.Font.Color = app::clWhite;
      c.palette[7] = 0xFFFFFF;
      const std::uint32_t ink = bits == 32 ? 0xFFFFFFu : 7u;
      const platform::TextImage& image = platform::TextRenderer::Shared().Render(t.cp932, app::FontPixels(t.size));
      ASSERT_FALSE(image.mask.empty()) << t.cp932;
      const std::vector<platform::TextImage::Run> runs = image.runs;
      for (int y = -image.height - 2; y <= 42; y += 3) {
        for (int x = -image.width - 2; x <= 66; x += 5) {
          const std::uint32_t background = bits == 32 ? 0x123456u : 3u;
          c.Clear(background);
          std::vector<std::uint32_t> expected(64 * 40, background);
          for (const auto& r : runs)
            for (int k = 0; k < r.length; ++k) {
              const int px = x + r.x + k, py = y + r.y;
              if (px >= 0 && px < 64 && py >= 0 && py < 40) expected[static_cast<std::size_t>(py * 64 + px)] = ink;
            }
          c.TextOut(x, y, t.cp932);
          for (int py = 0; py < 40; ++py)
            for (int px = 0; px < 64; ++px)
              ASSERT_EQ(c.At(px, py), expected[static_cast<std::size_t>(py * 64 + px)])
                  << bits << " bits, " << t.cp932 << " at " << x << "," << y << ": pixel " << px << "," << py;
        }
      }
    }
  }
}

TEST(CanvasPalette, ColoursBecomeTheNearestEntryOfThePaletteInForce) {
  MemoryCanvas c(40, 20, 8);
  c.palette[1] = 0xFF0000;
  c.palette[2] = 0xC00000;
  c.palette[3] = 0xFFFFFF;
  c.palette[4] = 0xFFFFFF;  // a duplicate: the first one wins
  c.palette[5] = 0x0000FF;
  struct Case {
    app::TColor color;
    std::uint32_t index;
  } cases[] = {{app::clRed, 1}, {0x1010D0, 2}, {app::clWhite, 3}, {0xEEEEEE, 3},
               {app::clBlue, 5}, {app::clBlack, 0}, {0x202020, 0}};
  for (const Case& k : cases) {
    c.Brush.Color = k.color;
    c.FillRect(0, 0, 40, 20);
    EXPECT_EQ(c.At(7, 7), k.index) << std::hex << k.color;
  }
  // Text too.
  c.Clear(0);
  c.Brush.Style = app::bsClear;
  c.Font.Color = 0xF0F0F0;
  c.TextOut(0, 0, "88");
  int white = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 40; ++x) {
      ASSERT_TRUE(c.At(x, y) == 0 || c.At(x, y) == 3);
      white += c.At(x, y) == 3;
    }
  EXPECT_GT(white, 10);
}

TEST(CanvasHandle, TakenOnDemandKeptUntilReleasedAndNothingDrawnWithout) {
  MemoryCanvas c(20, 20, 32);
  c.Brush.Color = app::clWhite;
  c.refuse = true;
  c.FillRect(0, 0, 20, 20);
  c.TextOut(0, 0, "x");
  c.Rectangle(0, 0, 5, 5);
  EXPECT_EQ(c.CountNot(0), 0);
  EXPECT_FALSE(c.HandleAllocated());
  EXPECT_GT(c.TextWidth("x"), 0);  // measuring needs no target

  c.refuse = false;
  c.acquired = 0;
  c.FillRect(0, 0, 2, 2);
  c.FillRect(0, 0, 3, 3);
  EXPECT_TRUE(c.HandleAllocated());
  EXPECT_EQ(c.acquired, 1);
  c.Release();
  EXPECT_FALSE(c.HandleAllocated());
  c.FillRect(0, 0, 4, 4);
  EXPECT_EQ(c.acquired, 2);
  EXPECT_EQ(c.CountNot(0), 16);
}

}  // namespace
