#include "media/dib.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <unordered_map>

#include "app/graphics.h"
#include "app/sjis.h"

namespace media {

namespace {

// Pictures larger than this are refused before any memory is taken for them: a few bytes of
// run-length data may claim any size.
constexpr std::int64_t kMaxSide = 32768;
constexpr std::int64_t kMaxPixelBytes = 64ll << 20;

enum : std::uint32_t { BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3 };

// The raw value a colour becomes on the target, as the drawing layer maps it.
std::uint32_t PixelValueOf(const platform::PixelBuffer& target, platform::Rgb rgb) {
  if (target.bits_per_pixel != 8) return rgb & 0xFFFFFF;
  return target.palette ? app::NearestPaletteIndex(*target.palette, rgb) : 0;
}

[[noreturn]] void Invalid() { throw EInvalidGraphic(app::Sjis(u8"不正な DIB です")); }

std::int64_t Remaining(app::TStream& stream) { return std::max<std::int64_t>(stream.Size() - stream.Position(), 0); }

std::uint16_t Word(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t Long(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
         (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// One colour channel of a bit-field pixel, widened or narrowed to 8 bits.
std::uint32_t Channel(std::uint32_t value, std::uint32_t mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const std::uint32_t field = mask >> shift;
  const int width = std::bit_width(field);
  const std::uint32_t c = (value & mask) >> shift;
  if (width >= 8) return (c >> (width - 8)) & 0xFF;
  // Repeat the bits, so the field's largest value becomes 255.
  std::uint32_t out = 0;
  int filled = 0;
  while (filled < 8) {
    out = (out << width) | c;
    filled += width;
  }
  return (out >> (filled - 8)) & 0xFF;
}

// The next `count` bytes, which must be there (the stream read error otherwise).
std::vector<std::uint8_t> Take(app::TStream& stream, std::size_t count) {
  if (static_cast<std::int64_t>(count) > Remaining(stream)) throw app::EReadError("Stream read error");
  std::vector<std::uint8_t> bytes(count);
  stream.ReadBuffer(bytes.data(), static_cast<std::int64_t>(count));
  return bytes;
}

}  // namespace

void TDIB::SetSize(int width, int height, int bit_count) {
  width_ = width;
  height_ = height;
  bit_count_ = bit_count;
  width_bytes_ = static_cast<int>(((static_cast<std::int64_t>(width) * bit_count + 31) / 32) * 4);
  bits_.assign(static_cast<std::size_t>(width_bytes_) * static_cast<std::size_t>(height), 0);
  if (bit_count == 16) {
    masks_[0] = 0x7C00, masks_[1] = 0x03E0, masks_[2] = 0x001F;
  } else if (bit_count == 32) {
    masks_[0] = 0xFF0000, masks_[1] = 0x00FF00, masks_[2] = 0x0000FF;
  }
}

void TDIB::ReadData(app::TStream& stream) {
  // The header: anything short or out of its range is not a picture.
  auto header = [&stream](std::size_t n) {
    if (Remaining(stream) < static_cast<std::int64_t>(n)) Invalid();
    return Take(stream, n);
  };
  const std::uint32_t header_size = Long(header(4), 0);
  std::int64_t width = 0, height = 0;
  int bits = 0;
  std::uint32_t compression = BI_RGB, image_size = 0, colors_used = 0;
  const bool core = header_size == 12;
  if (header_size == 40) {
    auto h = header(36);
    width = static_cast<std::int32_t>(Long(h, 0));
    height = static_cast<std::int32_t>(Long(h, 4));
    bits = Word(h, 10);
    compression = Long(h, 12);
    image_size = Long(h, 16);
    colors_used = Long(h, 28);
  } else if (core) {
    auto h = header(8);
    width = Word(h, 0);
    height = Word(h, 2);
    bits = Word(h, 6);
  } else {
    Invalid();
  }

  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) Invalid();
  if (compression > BI_BITFIELDS) Invalid();
  if (compression == BI_RLE8 && bits != 8) Invalid();
  if (compression == BI_RLE4 && bits != 4) Invalid();
  if (compression == BI_BITFIELDS && bits != 16 && bits != 32) Invalid();
  const bool top_down = height < 0;
  if (top_down) height = -height;
  if (top_down && (compression == BI_RLE8 || compression == BI_RLE4)) Invalid();
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) Invalid();
  const std::int64_t row_bytes = ((width * bits + 31) / 32) * 4;
  if (row_bytes * height > kMaxPixelBytes) Invalid();
  if (colors_used > 256) Invalid();

  std::uint32_t masks[3] = {0, 0, 0};
  if (compression == BI_BITFIELDS) {
    auto m = header(12);
    for (int i = 0; i < 3; ++i) masks[i] = Long(m, static_cast<std::size_t>(i) * 4);
  }

  int colors = static_cast<int>(colors_used);
  if (core || colors == 0) colors = bits <= 8 ? 1 << bits : 0;
  TColorTable table{};
  const std::size_t entry_size = core ? 3 : 4;
  const auto table_bytes = Take(stream, static_cast<std::size_t>(colors) * entry_size);
  for (int i = 0; i < colors; ++i) {
    const std::uint8_t* e = table_bytes.data() + static_cast<std::size_t>(i) * entry_size;
    table[static_cast<std::size_t>(i)] = {e[0], e[1], e[2], core ? std::uint8_t{0} : e[3]};
  }

  // The pixel data must all be there before the picture takes memory for it: a few bytes of
  // header can ask for the largest picture.
  const bool rle = compression == BI_RLE8 || compression == BI_RLE4;
  if (Remaining(stream) < (rle ? static_cast<std::int64_t>(image_size) : row_bytes * height))
    throw app::EReadError("Stream read error");

  TDIB dib;
  dib.SetSize(static_cast<int>(width), static_cast<int>(height), bits);
  dib.ColorTable = table;
  dib.color_count_ = colors;
  if (compression == BI_BITFIELDS) std::copy(masks, masks + 3, dib.masks_);
  dib.ReadPixels(stream, compression, image_size, top_down);
  *this = std::move(dib);
}

void TDIB::ReadPixels(app::TStream& stream, std::uint32_t compression, std::uint32_t image_size, bool top_down) {
  if (compression == BI_RLE8 || compression == BI_RLE4) {
    ExpandRle(Take(stream, image_size), compression == BI_RLE4);
    return;
  }
  const std::size_t row = static_cast<std::size_t>(width_bytes_);
  if (Remaining(stream) < static_cast<std::int64_t>(row * static_cast<std::size_t>(height_)))
    throw app::EReadError("Stream read error");
  if (top_down) {
    for (int y = 0; y < height_; ++y) stream.ReadBuffer(ScanLine(y), static_cast<std::int64_t>(row));
    return;
  }
  // Bottom-up rows, read in one piece.
  const auto all = Take(stream, row * static_cast<std::size_t>(height_));
  for (int y = 0; y < height_; ++y)
    std::memcpy(ScanLine(height_ - 1 - y), all.data() + static_cast<std::size_t>(y) * row, row);
}

// The run-length rules of the bitmap format: a count and a value repeat the value; a zero
// count is followed by 0 (end of line), 1 (end of picture), 2 (a move right and up by the
// next two bytes) or a number of pixels given as they are, padded to a whole word. Rows run
// from the bottom. Runs and moves past the row or the picture make the picture invalid.
void TDIB::ExpandRle(std::span<const std::uint8_t> data, bool four_bits) {
  std::size_t pos = 0;
  int x = 0, y = 0;  // y counts rows from the bottom
  auto put = [&](int value) {
    std::uint8_t* row = ScanLine(height_ - 1 - y);
    if (four_bits) {
      std::uint8_t& b = row[x >> 1];
      b = (x & 1) ? static_cast<std::uint8_t>((b & 0xF0) | (value & 0x0F))
                  : static_cast<std::uint8_t>((b & 0x0F) | ((value & 0x0F) << 4));
    } else {
      row[x] = static_cast<std::uint8_t>(value);
    }
    ++x;
  };
  auto room = [&](int count) {
    if (y >= height_ || count > width_ - x) Invalid();
  };
  while (pos < data.size()) {
    if (data.size() - pos < 2) Invalid();
    const int count = data[pos], value = data[pos + 1];
    pos += 2;
    if (count > 0) {
      room(count);
      for (int i = 0; i < count; ++i) put(four_bits ? ((i & 1) ? value & 0x0F : value >> 4) : value);
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++y;
      if (y > height_) Invalid();
    } else if (value == 1) {  // end of picture
      return;
    } else if (value == 2) {  // move
      if (data.size() - pos < 2) Invalid();
      const int dx = data[pos], dy = data[pos + 1];
      pos += 2;
      if (dx > width_ - x || dy > height_ - y) Invalid();
      x += dx;
      y += dy;
    } else {  // pixels as they are
      const std::size_t bytes = four_bits ? (static_cast<std::size_t>(value) + 1) / 2 : static_cast<std::size_t>(value);
      const std::size_t padded = bytes + (bytes & 1);
      if (data.size() - pos < padded) Invalid();
      room(value);
      for (int i = 0; i < value; ++i) {
        const std::uint8_t b = data[pos + (four_bits ? static_cast<std::size_t>(i) / 2 : static_cast<std::size_t>(i))];
        put(four_bits ? ((i & 1) ? b & 0x0F : b >> 4) : b);
      }
      pos += padded;
    }
  }
}

std::uint32_t TDIB::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  const std::uint8_t* row = ScanLine(y);
  switch (bit_count_) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F;
    case 8: return row[x];
    case 16: return Word({row, static_cast<std::size_t>(width_bytes_)}, static_cast<std::size_t>(x) * 2);
    case 24: {
      const std::uint8_t* p = row + static_cast<std::size_t>(x) * 3;
      return p[0] | (p[1] << 8) | (static_cast<std::uint32_t>(p[2]) << 16);
    }
    case 32: return Long({row, static_cast<std::size_t>(width_bytes_)}, static_cast<std::size_t>(x) * 4);
    default: return 0;
  }
}

platform::Rgb TDIB::ColorAt(int x, int y) const {
  const std::uint32_t v = Pixel(x, y);
  if (bit_count_ <= 8) return RgbOf(ColorTable[v & 0xFF]);
  if (bit_count_ == 24) return v;
  return (Channel(v, masks_[0]) << 16) | (Channel(v, masks_[1]) << 8) | Channel(v, masks_[2]);
}

void TDIB::StretchDraw(const platform::PixelBuffer& target, const platform::Rect& dst,
                       const platform::Rect& src) const {
  if (!target.pixels || dst.Empty() || src.Empty() || bits_.empty()) return;
  const platform::Rect clip{std::max(dst.left, 0), std::max(dst.top, 0), std::min(dst.right, target.width),
                            std::min(dst.bottom, target.height)};
  if (clip.Empty()) return;
  // Colours become target values once per colour, not once per pixel.
  std::array<std::uint32_t, 256> table{};
  if (bit_count_ <= 8)
    for (int i = 0; i < (1 << bit_count_); ++i)
      table[static_cast<std::size_t>(i)] = PixelValueOf(target, RgbOf(ColorTable[static_cast<std::size_t>(i)]));
  std::unordered_map<platform::Rgb, std::uint32_t> mapped;
  auto value_at = [&](int sx, int sy) -> std::uint32_t {
    if (bit_count_ <= 8) return table[Pixel(sx, sy) & 0xFF];
    const platform::Rgb rgb = ColorAt(sx, sy);
    if (target.bits_per_pixel != 8) return rgb;
    auto it = mapped.find(rgb);
    if (it == mapped.end()) it = mapped.emplace(rgb, PixelValueOf(target, rgb)).first;
    return it->second;
  };
  for (int y = clip.top; y < clip.bottom; ++y) {
    const int sy = src.top + static_cast<int>(static_cast<std::int64_t>(y - dst.top) * src.Height() / dst.Height());
    if (sy < 0 || sy >= height_) continue;
    std::uint8_t* row = target.pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(target.pitch);
    for (int x = clip.left; x < clip.right; ++x) {
      const int sx = src.left + static_cast<int>(static_cast<std::int64_t>(x - dst.left) * src.Width() / dst.Width());
      if (sx < 0 || sx >= width_) continue;
      const std::uint32_t v = value_at(sx, sy);
      if (target.bits_per_pixel == 8)
        row[x] = static_cast<std::uint8_t>(v);
      else
        reinterpret_cast<std::uint32_t*>(row)[x] = v;
    }
  }
}

void TPicture::LoadFromData(std::span<const std::uint8_t> data) {
  app::TMemoryStream stream(data);
  LoadFromStream(stream);
}

void TPicture::LoadFromStream(app::TStream& stream) {
  if (Remaining(stream) == 0) {
    graphic_.reset();
    return;
  }
  std::uint8_t length = 0;
  stream.ReadBuffer(&length, 1);
  const auto name_bytes = Take(stream, length);
  const std::string name(name_bytes.begin(), name_bytes.end());
  if (name != "TDIB")
    throw EInvalidGraphic(app::Format(app::Sjis(u8"グラフィック形式 %s は登録されていません"), {name}));
  auto dib = std::make_unique<TDIB>();
  dib->ReadData(stream);
  graphic_ = std::move(dib);
}

}  // namespace media
