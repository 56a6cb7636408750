// Draws the maker's logo, the "ROKLEV SOFTWORKS" wordmark, and writes it in the stored picture
// layout of the image list: the graphic's class name "TDIB", then a 150 x 32 bitmap at 8 bits
// per pixel, bottom-up, with a 216-colour cube palette (the rest black) and a black background
// (index 0), which the game draws as transparent.
//
// Usage: make_logo OUTPUT
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 150;
constexpr int kHeight = 32;
constexpr int kRowBytes = ((kWidth * 8 + 31) / 32) * 4;

// A colour of the cube, levels 0 to 5 for 0, 51, 102, 153, 204 and 255.
constexpr std::uint8_t Cube(int r, int g, int b) { return static_cast<std::uint8_t>(r * 36 + g * 6 + b); }

// 5 x 7 capitals for the name.
struct Glyph {
  char c;
  const char* rows[7];
};
constexpr Glyph kLarge[] = {
    {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'K', {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"}},
    {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'V', {"#...#", "#...#", "#...#", "#...#", ".#.#.", ".#.#.", "..#.."}},
};

// 3 x 5 capitals for the line beneath.
struct SmallGlyph {
  char c;
  const char* rows[5];
};
constexpr SmallGlyph kSmall[] = {
    {'S', {"###", "#..", "###", "..#", "###"}}, {'O', {"###", "#.#", "#.#", "#.#", "###"}},
    {'F', {"###", "#..", "##.", "#..", "#.."}}, {'T', {"###", ".#.", ".#.", ".#.", ".#."}},
    {'W', {"#.#", "#.#", "#.#", "###", "#.#"}}, {'R', {"##.", "#.#", "##.", "#.#", "#.#"}},
    {'K', {"#.#", "#.#", "##.", "#.#", "#.#"}},
};

class Canvas {
 public:
  Canvas() : pixels_(kWidth * kHeight, 0) {}
  void Set(int x, int y, std::uint8_t index) {
    if (x >= 0 && y >= 0 && x < kWidth && y < kHeight) pixels_[y * kWidth + x] = index;
  }
  std::uint8_t Get(int x, int y) const { return pixels_[y * kWidth + x]; }

 private:
  std::vector<std::uint8_t> pixels_;
};

const Glyph* FindLarge(char c) {
  for (const Glyph& g : kLarge)
    if (g.c == c) return &g;
  return nullptr;
}

const SmallGlyph* FindSmall(char c) {
  for (const SmallGlyph& g : kSmall)
    if (g.c == c) return &g;
  return nullptr;
}

// The name's face: warm from light yellow at the top to red at the foot, with a white edge
// where the light catches the tops of the strokes.
std::uint8_t FaceColor(int row, bool lit) {
  static const std::uint8_t bands[7] = {Cube(5, 5, 3), Cube(5, 5, 1), Cube(5, 4, 0), Cube(5, 3, 0),
                                        Cube(5, 2, 0), Cube(5, 1, 1), Cube(4, 0, 1)};
  return lit ? Cube(5, 5, 5) : bands[row];
}

void DrawName(Canvas& c, const std::string& text, int x0, int y0) {
  constexpr int kScale = 3, kGap = 4;
  const std::uint8_t shadow = Cube(1, 0, 2);
  // The shadow first, one pixel down and right, then the face over it.
  for (int pass = 0; pass < 2; ++pass) {
    int x = x0;
    for (char ch : text) {
      const Glyph* g = FindLarge(ch);
      for (int row = 0; row < 7; ++row)
        for (int col = 0; col < 5; ++col) {
          if (g->rows[row][col] != '#') continue;
          for (int dy = 0; dy < kScale; ++dy)
            for (int dx = 0; dx < kScale; ++dx) {
              const int px = x + col * kScale + dx, py = y0 + row * kScale + dy;
              if (pass == 0)
                c.Set(px + 1, py + 1, shadow);
              else
                c.Set(px, py, FaceColor(row, dy == 0 && (row == 0 || g->rows[row - 1][col] != '#')));
            }
        }
      x += 5 * kScale + kGap;
    }
  }
}

int DrawSmall(Canvas& c, const std::string& text, int x0, int y0, std::uint8_t color) {
  int x = x0;
  for (char ch : text) {
    const SmallGlyph* g = FindSmall(ch);
    for (int row = 0; row < 5; ++row)
      for (int col = 0; col < 3; ++col)
        if (g->rows[row][col] == '#') c.Set(x + col, y0 + row, color);
    x += 4;
  }
  return x - 1;
}

std::vector<std::uint8_t> MakeLogo() {
  Canvas c;
  const std::string name = "ROKLEV";
  const int name_width = static_cast<int>(name.size()) * (15 + 4) - 4;
  DrawName(c, name, (kWidth - name_width) / 2, 1);

  // "SOFTWORKS" centred under the name, between two rules that fade out towards the edges.
  const std::string tag = "SOFTWORKS";
  const int tag_width = static_cast<int>(tag.size()) * 4 - 1;
  const int tag_x = (kWidth - tag_width) / 2;
  DrawSmall(c, tag, tag_x, 25, Cube(2, 4, 5));
  const std::uint8_t rule[3] = {Cube(0, 3, 4), Cube(0, 2, 3), Cube(1, 1, 2)};
  for (int x = 8; x < tag_x - 4; ++x) {
    const std::uint8_t color = rule[x < 20 ? 2 : x < 34 ? 1 : 0];
    c.Set(x, 27, color);
    c.Set(kWidth - 1 - x, 27, color);
  }

  std::vector<std::uint8_t> out;
  auto u8 = [&out](std::uint32_t v) { out.push_back(static_cast<std::uint8_t>(v)); };
  auto u16 = [&u8](std::uint32_t v) {
    u8(v & 0xFF);
    u8((v >> 8) & 0xFF);
  };
  auto u32 = [&u16](std::uint32_t v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
  };
  // The graphic's class name.
  u8(4);
  for (char ch : std::string("TDIB")) u8(static_cast<std::uint8_t>(ch));
  // The info header.
  u32(40);
  u32(kWidth);
  u32(kHeight);  // positive: rows bottom-up
  u16(1);
  u16(8);
  u32(0);  // no compression
  u32(kRowBytes * kHeight);
  u32(0);
  u32(0);
  u32(0);  // all 256 colours
  u32(0);
  // The colour table: blue, green, red, reserved.
  for (int i = 0; i < 256; ++i) {
    if (i < 216) {
      const int r = i / 36, g = (i / 6) % 6, b = i % 6;
      u8(b * 51);
      u8(g * 51);
      u8(r * 51);
    } else {
      u8(0);
      u8(0);
      u8(0);
    }
    u8(0);
  }
  for (int y = kHeight - 1; y >= 0; --y) {
    for (int x = 0; x < kWidth; ++x) u8(c.Get(x, y));
    for (int x = kWidth; x < kRowBytes; ++x) u8(0);
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_logo OUTPUT\n");
    return 2;
  }
  const std::vector<std::uint8_t> bytes = MakeLogo();
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "make_logo: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
