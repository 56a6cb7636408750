// The picture reader: the stored logo, every pixel format, run-length data, and damaged input.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/assets.h"
#include "app/sjis.h"
#include "app/streams.h"
#include "media/dib.h"
#include "support/allocations/counting_new.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// A stored picture: "TDIB", a header, the masks, the colour table and the pixel bytes.
struct Dib {
  std::uint32_t header = 40;
  std::int32_t width = 2, height = 2;
  int bits = 8;
  std::uint32_t compression = 0;
  std::uint32_t image_size = 0;
  std::uint32_t colors_used = 0;
  std::vector<std::uint32_t> masks;
  std::vector<std::uint32_t> table;  // 0x00RRGGBB
  Bytes pixels;

  Bytes Build() const {
    Bytes b = {4, 'T', 'D', 'I', 'B'};
    Put32(b, header);
    if (header == 12) {
      Put16(b, static_cast<std::uint32_t>(width));
      Put16(b, static_cast<std::uint32_t>(height));
      Put16(b, 1);
      Put16(b, static_cast<std::uint32_t>(bits));
    } else {
      Put32(b, static_cast<std::uint32_t>(width));
      Put32(b, static_cast<std::uint32_t>(height));
      Put16(b, 1);
      Put16(b, static_cast<std::uint32_t>(bits));
      Put32(b, compression);
      Put32(b, image_size);
      Put32(b, 0);
      Put32(b, 0);
      Put32(b, colors_used);
      Put32(b, 0);
    }
    for (std::uint32_t m : masks) Put32(b, m);
    for (std::uint32_t c : table) {
      b.push_back(static_cast<std::uint8_t>(c));
      b.push_back(static_cast<std::uint8_t>(c >> 8));
      b.push_back(static_cast<std::uint8_t>(c >> 16));
      if (header != 12) b.push_back(0);
    }
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
  }
};

const media::TDIB& Load(media::TPicture& picture, const Bytes& bytes) {
  picture.LoadFromData(bytes);
  auto* dib = dynamic_cast<const media::TDIB*>(picture.Graphic());
  EXPECT_NE(dib, nullptr);
  return *dib;
}

TEST(Dib, TheStoredLogo) {
  media::TPicture picture;
  auto data = app::FindAsset("logo.dib");
  EXPECT_EQ(data.size(), 5933u);
  picture.LoadFromData(data);
  auto* dib = dynamic_cast<const media::TDIB*>(picture.Graphic());
  ASSERT_NE(dib, nullptr);
  EXPECT_EQ(dib->Width(), 150);
  EXPECT_EQ(dib->Height(), 32);
  EXPECT_EQ(dib->BitCount(), 8);
  EXPECT_EQ(dib->ColorCount(), 256);
  EXPECT_EQ(dib->Size(), 4864u);
  EXPECT_EQ(dib->Pixel(0, 0), 0u);  // the background
  EXPECT_EQ(media::RgbOf(dib->ColorTable[0]), 0u);
  EXPECT_EQ(media::RgbOf(dib->ColorTable[215]), 0xFFFFFFu);
  EXPECT_EQ(media::RgbOf(dib->ColorTable[216]), 0u);
}

TEST(Dib, ReadsEveryPixelFormat) {
  struct Case {
    const char* name;
    Dib dib;
    // Colours expected at (0, 0), (1, 0), (0, 1) with the top row first (outside a picture
    // reads as pixel value 0).
    std::uint32_t top_left, top_right, bottom_left;
  };
  const Case cases[] = {
      {"1 bit, bottom-up", {40, 2, 2, 1, 0, 0, 0, {}, {0x000000, 0xFFFFFF}, {0x40, 0, 0, 0, 0x80, 0, 0, 0}},
       0xFFFFFF, 0x000000, 0x000000},
      {"4 bits", {40, 2, 2, 4, 0, 0, 2, {}, {0x102030, 0x405060}, {0x00, 0, 0, 0, 0x01, 0, 0, 0}},
       0x102030, 0x405060, 0x102030},
      {"8 bits, top-down", {40, 2, -2, 8, 0, 0, 3, {}, {0x111111, 0x222222, 0x333333}, {1, 2, 0, 0, 0, 0, 0, 0}},
       0x222222, 0x333333, 0x111111},
      {"16 bits, 5-5-5", {40, 2, 1, 16, 0, 0, 0, {}, {}, {0x00, 0x7C, 0x1F, 0x00}}, 0xFF0000, 0x0000FF, 0},
      {"16 bits, 5-6-5 fields",
       {40, 2, 1, 16, 3, 0, 0, {0xF800, 0x07E0, 0x001F}, {}, {0xE0, 0x07, 0x00, 0xF8}},
       0x00FF00, 0xFF0000, 0},
      {"24 bits", {40, 2, 1, 24, 0, 0, 0, {}, {}, {0x30, 0x20, 0x10, 0xCC, 0xBB, 0xAA, 0, 0}}, 0x102030, 0xAABBCC, 0},
      {"32 bits", {40, 2, 1, 32, 0, 0, 0, {}, {}, {0x03, 0x02, 0x01, 0xFF, 0x06, 0x05, 0x04, 0xFF}},
       0x010203, 0x040506, 0},
      {"32 bits, fields", {40, 1, 1, 32, 3, 0, 0, {0x000000FF, 0x0000FF00, 0x00FF0000}, {}, {0x11, 0x22, 0x33, 0}},
       0x112233, 0, 0},
      {"core header", {12, 2, 1, 8, 0, 0, 0, {}, std::vector<std::uint32_t>(256, 0x0000FF), {5, 6, 0, 0}},
       0x0000FF, 0x0000FF, 0x0000FF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    media::TPicture picture;
    const media::TDIB& dib = Load(picture, c.dib.Build());
    EXPECT_EQ(dib.ColorAt(0, 0), c.top_left);
    EXPECT_EQ(dib.ColorAt(1, 0), c.top_right);
    EXPECT_EQ(dib.ColorAt(0, 1), c.bottom_left);
  }
}

// Pixel indices of a decoded picture, top row first.
std::vector<std::vector<int>> Indices(const media::TDIB& dib) {
  std::vector<std::vector<int>> rows(static_cast<std::size_t>(dib.Height()));
  for (int y = 0; y < dib.Height(); ++y)
    for (int x = 0; x < dib.Width(); ++x) rows[static_cast<std::size_t>(y)].push_back(static_cast<int>(dib.Pixel(x, y)));
  return rows;
}

TEST(Dib, ExpandsRunLengthData) {
  {
    // 6 x 3 at 8 bits, rows from the bottom: a run, an end of line, a literal run with its
    // padding, a move, a run and the end.
    const Bytes rle = {3, 7, 0, 0, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 3, 0, 1, 9, 0, 1};
    Dib d{40, 6, 3, 8, 1, static_cast<std::uint32_t>(rle.size()), 1, {}, {0}, rle};
    media::TPicture picture;
    EXPECT_EQ(Indices(Load(picture, d.Build())), (std::vector<std::vector<int>>{
                                                      {0, 0, 0, 9, 0, 0},
                                                      {1, 2, 3, 0, 0, 0},
                                                      {7, 7, 7, 0, 0, 0},
                                                  }));
  }
  {
    // 5 x 2 at 4 bits: an alternating run, an end of line, a literal run of 3 with padding.
    const Bytes rle = {5, 0x12, 0, 0, 0, 3, 0x34, 0x50, 0, 1};
    Dib d{40, 5, 2, 4, 2, static_cast<std::uint32_t>(rle.size()), 1, {}, {0}, rle};
    media::TPicture picture;
    EXPECT_EQ(Indices(Load(picture, d.Build())), (std::vector<std::vector<int>>{
                                                      {3, 4, 5, 0, 0},
                                                      {1, 2, 1, 2, 1},
                                                  }));
  }
}

TEST(Dib, DamagedPicturesAreRefused) {
  const std::string invalid = app::Sjis(u8"不正な DIB です");
  auto rle8 = [](std::int32_t w, std::int32_t h, Bytes data) {
    return Dib{40, w, h, 8, 1, static_cast<std::uint32_t>(data.size()), 1, {}, {0}, data};
  };
  struct Case {
    const char* name;
    Bytes bytes;
  };
  Dib wrong_header;
  wrong_header.header = 20;
  Dib bad_compression;
  bad_compression.compression = 4;
  Dib rle_bits;
  rle_bits.compression = 1;
  rle_bits.bits = 4;
  Dib fields_bits;
  fields_bits.compression = 3;
  fields_bits.bits = 24;
  Dib odd_bits;
  odd_bits.bits = 7;
  Dib zero_width;
  zero_width.width = 0;
  Dib negative_width;
  negative_width.width = -4;
  Dib zero_height;
  zero_height.height = 0;
  Dib lowest_height;
  lowest_height.height = INT32_MIN;
  Dib huge;
  huge.width = 1 << 20;
  huge.height = 1 << 20;
  Dib huge_rle = rle8(30000, 30000, {0, 1});
  Dib many_colours;
  many_colours.colors_used = 300;
  Dib top_down_rle = rle8(2, -2, {0, 1});
  Bytes short_header = Dib{}.Build();
  short_header.resize(5 + 20);

  const Case cases[] = {
      {"a header of another size", wrong_header.Build()},
      {"a header cut short", short_header},
      {"an unknown compression", bad_compression.Build()},
      {"run-length 8 at 4 bits", rle_bits.Build()},
      {"bit fields at 24 bits", fields_bits.Build()},
      {"7 bits per pixel", odd_bits.Build()},
      {"no width", zero_width.Build()},
      {"a negative width", negative_width.Build()},
      {"no height", zero_height.Build()},
      {"the lowest height", lowest_height.Build()},
      {"huge", huge.Build()},
      {"huge, run-length", huge_rle.Build()},
      {"more than 256 colours", many_colours.Build()},
      {"run-length top-down", top_down_rle.Build()},
      {"a run past the row", rle8(4, 2, {5, 1, 0, 1}).Build()},
      {"runs past the last row", rle8(2, 1, {2, 1, 0, 0, 2, 1}).Build()},
      {"a literal run past the row", rle8(2, 1, {0, 3, 1, 2, 3, 0}).Build()},
      {"a move past the row", rle8(4, 2, {0, 2, 5, 0}).Build()},
      {"a move past the picture", rle8(4, 2, {0, 2, 0, 3}).Build()},
      {"lines past the picture", rle8(4, 1, {0, 0, 0, 0}).Build()},
      {"a move cut short", rle8(4, 2, {0, 2, 1}).Build()},
      {"a literal run cut short", rle8(4, 2, {0, 4, 1, 2}).Build()},
      {"a pair cut short", rle8(4, 2, {3}).Build()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    media::TPicture picture;
    try {
      picture.LoadFromData(c.bytes);
      FAIL() << "read";
    } catch (const media::EInvalidGraphic& e) {
      EXPECT_EQ(e.Message(), invalid);
    }
    EXPECT_EQ(picture.Graphic(), nullptr);
  }
}

TEST(Dib, DataEndingEarlyIsAReadError) {
  Dib no_pixels;
  no_pixels.colors_used = 2;
  no_pixels.table = {0, 0};
  Dib short_table;
  short_table.colors_used = 4;
  short_table.table = {0};
  Dib short_rle{40, 4, 2, 8, 1, 100, 1, {}, {0}, {0, 1}};
  for (const Bytes& b : {no_pixels.Build(), short_table.Build(), short_rle.Build(), Bytes{4, 'T', 'D'}}) {
    media::TPicture picture;
    EXPECT_THROW(picture.LoadFromData(b), app::EReadError);
  }
}

TEST(Dib, PixelDataThatIsNotThereIsRefusedBeforeThePictureTakesMemory) {
  // Headers of pictures of the largest size, 64 MiB of pixels, with a few bytes after them.
  struct Case {
    const char* what;
    Dib dib;
  } cases[] = {
      {"8 bits", {40, 8192, 8192, 8, 0, 0, 1, {}, {0}, Bytes(11, 0)}},
      {"32 bits from the top", {40, 4096, -4096, 32, 0, 0, 0, {}, {}, Bytes(15, 0)}},
      {"run-length data of 1 GiB", {40, 8192, 8192, 8, 1, 1u << 30, 1, {}, {0}, Bytes(11, 0)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes bytes = c.dib.Build();
    EXPECT_LE(bytes.size(), 64u);
    media::TPicture picture;
    testing_support::CountAllocations count;
    EXPECT_THROW(picture.LoadFromData(bytes), app::EReadError);
    EXPECT_LT(count.Stats().largest, std::size_t{1} << 20);
  }
}

TEST(Dib, EmptyDataIsAnEmptyPictureAndOtherClassesAreRefused) {
  media::TPicture picture;
  Dib d;
  d.colors_used = 1;
  d.table = {0};
  d.pixels = Bytes(8, 0);
  picture.LoadFromData(d.Build());
  ASSERT_NE(picture.Graphic(), nullptr);
  picture.LoadFromData({});
  EXPECT_EQ(picture.Graphic(), nullptr);

  const Bytes bitmap = {7, 'T', 'B', 'i', 't', 'm', 'a', 'p', 0, 0};
  EXPECT_THROW(picture.LoadFromData(bitmap), media::EInvalidGraphic);
}

TEST(Dib, StretchDrawMapsColoursToThePaletteInForce) {
  media::TDIB dib;
  dib.SetSize(2, 1, 8);
  dib.ScanLine(0)[1] = 1;
  dib.ColorTable[0] = {0, 0, 250, 0};  // nearly red
  dib.ColorTable[1] = {10, 10, 10, 0};  // nearly black
  std::array<platform::Rgb, 256> palette{};
  for (auto& e : palette) e = 0xFFFFFF;
  palette[3] = 0x000000;
  palette[9] = 0xFF0000;
  std::vector<std::uint8_t> pixels(8, 0xEE);
  platform::PixelBuffer target{pixels.data(), 4, 2, 4, 8, &palette};
  dib.StretchDraw(target, {0, 0, 4, 2}, {0, 0, 2, 1});  // twice as large
  EXPECT_EQ(pixels, (std::vector<std::uint8_t>{9, 9, 3, 3, 9, 9, 3, 3}));
}

}  // namespace
