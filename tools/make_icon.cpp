// Draws the program's icon: the play screen's cross with a digit in each arm, yellow on black in a
// light green outline, the two arms of a scoring choice (3 and 7 make 10) on red as the game marks
// the arms held. Two pixel maps are drawn by hand-placed lines and glyphs, so the small sizes stay
// crisp: one of 16 pixels (its arms only outlined around the outside, or the digits would not fit)
// and one of 32, which every larger size and the scalable picture are made from.
//
// Writes ASSETS_DIR/icon.rgba (the 64-pixel picture, rows of RGBA bytes, top row first, that the
// program compiles in as its window icon) and, in ICONS_DIR, velkor-N.png for N = 16, 32, 48, 64,
// 128 and 256 and velkor.svg.
//
// Usage: make_icon ASSETS_DIR ICONS_DIR
#include <zlib.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Rgba {
  std::uint8_t r = 0, g = 0, b = 0, a = 0;
  bool operator==(const Rgba&) const = default;
};

constexpr Rgba kBlack{0, 0, 0, 255};
constexpr Rgba kLine{128, 255, 128, 255};  // the outline, one of the greens it flickers through
constexpr Rgba kDigit{255, 255, 0, 255};   // clYellow
constexpr Rgba kHeld{255, 0, 0, 255};      // clRed, an arm held

class Image {
 public:
  explicit Image(int size) : size_(size), pixels_(static_cast<std::size_t>(size * size)) {}
  int Size() const { return size_; }
  Rgba Get(int x, int y) const { return pixels_[static_cast<std::size_t>(y * size_ + x)]; }
  void Set(int x, int y, Rgba c) {
    if (x >= 0 && y >= 0 && x < size_ && y < size_) pixels_[static_cast<std::size_t>(y * size_ + x)] = c;
  }
  void Fill(int x0, int y0, int x1, int y1, Rgba c) {  // inclusive corners
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) Set(x, y, c);
  }
  template <std::size_t W, std::size_t H>
  void Glyph(int x0, int y0, const std::array<const char*, H>& rows, Rgba c) {
    for (std::size_t row = 0; row < H; ++row)
      for (std::size_t col = 0; col < W; ++col)
        if (rows[row][col] == '#') Set(x0 + static_cast<int>(col), y0 + static_cast<int>(row), c);
  }

 private:
  int size_;
  std::vector<Rgba> pixels_;
};

enum Arm { kUp, kDown, kLeft, kRight };
constexpr int kArmDigits[4] = {3, 1, 4, 7};
constexpr bool kArmHeld[4] = {true, false, false, true};

// 3 x 5 digits for 16 pixels, 6 x 6 with strokes two wide for 32.
const std::array<const char*, 5>& SmallDigit(int d) {
  static const std::array<const char*, 5> k1{".#.", "##.", ".#.", ".#.", "###"};
  static const std::array<const char*, 5> k3{"###", "..#", ".##", "..#", "###"};
  static const std::array<const char*, 5> k4{"#.#", "#.#", "###", "..#", "..#"};
  static const std::array<const char*, 5> k7{"###", "..#", "..#", ".#.", ".#."};
  return d == 1 ? k1 : d == 3 ? k3 : d == 4 ? k4 : k7;
}

const std::array<const char*, 6>& LargeDigit(int d) {
  static const std::array<const char*, 6> k1{"..##..", ".###..", "..##..", "..##..", "..##..", ".####."};
  static const std::array<const char*, 6> k3{"######", "....##", "..####", "....##", "....##", "######"};
  static const std::array<const char*, 6> k4{"##..##", "##..##", "######", "....##", "....##", "....##"};
  static const std::array<const char*, 6> k7{"######", "....##", "...##.", "..##..", "..##..", "..##.."};
  return d == 1 ? k1 : d == 3 ? k3 : d == 4 ? k4 : k7;
}

// 16 pixels: the cross's outer outline only; each arm's cell is where its digit sits.
Image Draw16() {
  Image im(16);
  im.Fill(5, 0, 10, 15, kLine);
  im.Fill(0, 4, 15, 10, kLine);
  im.Fill(6, 1, 9, 14, kBlack);
  im.Fill(1, 5, 14, 9, kBlack);
  struct Cell {
    int x0, y0, x1, y1, gx, gy;
  };
  // The cells keep a black pixel between them, so two held arms do not run together.
  const Cell cells[4] = {{6, 1, 9, 5, 7, 1}, {6, 10, 9, 14, 7, 10}, {1, 5, 4, 9, 2, 5}, {11, 5, 14, 9, 11, 5}};
  for (int arm = kUp; arm <= kRight; ++arm) {
    const Cell& c = cells[arm];
    if (kArmHeld[arm]) im.Fill(c.x0, c.y0, c.x1, c.y1, kHeld);
    im.Glyph<3, 5>(c.gx, c.gy, SmallDigit(kArmDigits[arm]), kDigit);
  }
  return im;
}

// 32 pixels: the play screen's two rectangles with their two-pixel outlines, crossing in the
// middle, and a cell of 8 x 8 at the end of each arm.
Image Draw32() {
  Image im(32);
  auto frame = [&im](int x0, int y0, int x1, int y1) {
    im.Fill(x0, y0, x1, y0 + 1, kLine);
    im.Fill(x0, y1 - 1, x1, y1, kLine);
    im.Fill(x0, y0, x0 + 1, y1, kLine);
    im.Fill(x1 - 1, y0, x1, y1, kLine);
  };
  im.Fill(12, 2, 19, 29, kBlack);
  im.Fill(2, 12, 29, 19, kBlack);
  frame(10, 0, 21, 31);
  frame(0, 10, 31, 21);
  const int cell_x[4] = {12, 12, 2, 22}, cell_y[4] = {2, 22, 12, 12};
  for (int arm = kUp; arm <= kRight; ++arm) {
    const int x = cell_x[arm], y = cell_y[arm];
    if (kArmHeld[arm]) im.Fill(x, y, x + 7, y + 7, kHeld);
    im.Glyph<6, 6>(x + 1, y + 1, LargeDigit(kArmDigits[arm]), kDigit);
  }
  return im;
}

// `size` pixels from the 32-pixel map: each pixel the area-weighted mean of the map pixels it
// covers (premultiplied, so the clear outside does not darken the edges). Whole multiples come
// out as plain enlargements.
Image Scale(const Image& src, int size) {
  Image out(size);
  const int n = src.Size();
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      // The pixel covers [x, x+1) * n / size of the map: integer arithmetic in units of 1/size.
      std::int64_t r = 0, g = 0, b = 0, a = 0;
      for (int sy = y * n / size; sy < n && sy * size < (y + 1) * n; ++sy)
        for (int sx = x * n / size; sx < n && sx * size < (x + 1) * n; ++sx) {
          const std::int64_t wx = std::min((sx + 1) * size, (x + 1) * n) - std::max(sx * size, x * n);
          const std::int64_t wy = std::min((sy + 1) * size, (y + 1) * n) - std::max(sy * size, y * n);
          const Rgba c = src.Get(sx, sy);
          const std::int64_t w = wx * wy * c.a;
          r += w * c.r;
          g += w * c.g;
          b += w * c.b;
          a += w;
        }
      const std::int64_t area = static_cast<std::int64_t>(n) * n;  // sum of wx * wy, times 255 for a
      Rgba c;
      if (a > 0) {
        c.r = static_cast<std::uint8_t>((r + a / 2) / a);
        c.g = static_cast<std::uint8_t>((g + a / 2) / a);
        c.b = static_cast<std::uint8_t>((b + a / 2) / a);
        c.a = static_cast<std::uint8_t>((a + area / 2) / area);
      }
      out.Set(x, y, c);
    }
  return out;
}

std::vector<std::uint8_t> RgbaBytes(const Image& im) {
  std::vector<std::uint8_t> bytes;
  for (int y = 0; y < im.Size(); ++y)
    for (int x = 0; x < im.Size(); ++x) {
      const Rgba c = im.Get(x, y);
      bytes.insert(bytes.end(), {c.r, c.g, c.b, c.a});
    }
  return bytes;
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void Chunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data) {
  PutU32(out, static_cast<std::uint32_t>(data.size()));
  std::vector<std::uint8_t> body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  out.insert(out.end(), body.begin(), body.end());
  PutU32(out, static_cast<std::uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
}

// An 8-bit RGBA PNG without filters, compressed at zlib's best level.
std::vector<std::uint8_t> Png(const Image& im) {
  const std::vector<std::uint8_t> rgba = RgbaBytes(im);
  const std::size_t row = static_cast<std::size_t>(im.Size()) * 4;
  std::vector<std::uint8_t> raw;
  for (int y = 0; y < im.Size(); ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), rgba.begin() + static_cast<std::ptrdiff_t>(y * row),
               rgba.begin() + static_cast<std::ptrdiff_t>((y + 1) * row));
  }
  uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
  std::vector<std::uint8_t> packed(packed_size);
  if (compress2(packed.data(), &packed_size, raw.data(), static_cast<uLong>(raw.size()), 9) != Z_OK) return {};
  packed.resize(packed_size);

  std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  std::vector<std::uint8_t> header;
  PutU32(header, static_cast<std::uint32_t>(im.Size()));
  PutU32(header, static_cast<std::uint32_t>(im.Size()));
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter choice, no interlace
  Chunk(out, "IHDR", header);
  Chunk(out, "IDAT", packed);
  Chunk(out, "IEND", {});
  return out;
}

// The 32-pixel map as one rectangle per run of a colour in a row, in a 32-unit view box.
std::string Svg(const Image& im) {
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" viewBox=\"0 0 32 32\" "
      "shape-rendering=\"crispEdges\">\n";
  char buf[128];
  for (int y = 0; y < im.Size(); ++y)
    for (int x = 0; x < im.Size();) {
      const Rgba c = im.Get(x, y);
      int end = x + 1;
      while (end < im.Size() && im.Get(end, y) == c) ++end;
      if (c.a != 0) {
        std::snprintf(buf, sizeof buf, "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"1\" fill=\"#%02x%02x%02x\"/>\n", x, y,
                      end - x, c.r, c.g, c.b);
        out += buf;
      }
      x = end;
    }
  out += "</svg>\n";
  return out;
}

bool Write(const std::string& path, const void* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  out.close();
  if (!out) std::fprintf(stderr, "make_icon: cannot write %s\n", path.c_str());
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_icon ASSETS_DIR ICONS_DIR\n");
    return 2;
  }
  const std::string assets = argv[1], icons = argv[2];
  const Image small = Draw16(), large = Draw32();
  bool ok = true;
  const std::vector<std::uint8_t> window_icon = RgbaBytes(Scale(large, 64));
  ok &= Write(assets + "/icon.rgba", window_icon.data(), window_icon.size());
  for (int size : {16, 32, 48, 64, 128, 256}) {
    const std::vector<std::uint8_t> png = Png(size == 16 ? small : Scale(large, size));
    ok &= !png.empty() && Write(icons + "/velkor-" + std::to_string(size) + ".png", png.data(), png.size());
  }
  const std::string svg = Svg(large);
  ok &= Write(icons + "/velkor.svg", svg.data(), svg.size());
  return ok ? 0 : 1;
}
