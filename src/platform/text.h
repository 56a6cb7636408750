#pragma once
// Text turned into glyph pixels. The program's text is CP932; it becomes Unicode here. Glyphs
// are rasterised without anti-aliasing, crisp as on an 8-bit screen, into memory, so the real
// program and the headless tests see the same pixels.
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform {

// The face that draws the program's text.
struct FontFace {
  std::string file;    // empty when no usable face was found
  int index = 0;       // face index within the file
  std::string family;  // UTF-8
  bool japanese = false;  // covers kanji, kana and half-width katakana
};

// Asks fontconfig for the face: IPA P Gothic first, else any outline face that covers kanji,
// kana and half-width katakana, else any outline face at all (Latin text still shows).
// `config_file` replaces the system's fontconfig configuration (tests use it); null means the
// system's.
FontFace FindTextFace(const char* config_file = nullptr);

// What to tell the player when the face cannot show Japanese text; empty when it can.
std::string MissingFontAdvice(const FontFace& face);

// A text at one size: its cell and the pixels its glyphs cover, relative to the cell's top-left
// corner. Glyphs may reach a little outside the cell.
struct TextImage {
  struct Run {
    int y, x, length;  // `length` covered pixels of row y from column x
  };
  int width = 0;   // the sum of the glyphs' advances
  int height = 0;  // the em in pixels: the cell is as tall as the font size asks
  std::vector<Run> runs;  // by row, then by column
  // For a small text, the same pixels once more as a mask over the runs' bounding box: one byte a
  // pixel, 0xFF where covered, row by row from (mask_left, mask_top) relative to the cell. Drawn
  // with one select a pixel and no branch a run, it is the cheaper way for texts drawn many
  // times a frame (the title's scatter). Empty for a text without pixels or a large one.
  int mask_left = 0, mask_top = 0, mask_width = 0, mask_height = 0;
  std::vector<std::uint8_t> mask;
  // The largest bounding box, in pixels, that gets a mask.
  static constexpr int kMaxMaskArea = 8192;
};

class TextRenderer {
 public:
  // The renderer of the program, over the face FindTextFace finds; made on first use. When that
  // face cannot show Japanese text it says so once on standard error, naming the package.
  static TextRenderer& Shared();

  explicit TextRenderer(const FontFace& face);
  ~TextRenderer();
  TextRenderer(const TextRenderer&) = delete;
  TextRenderer& operator=(const TextRenderer&) = delete;

  const FontFace& Face() const { return face_; }

  // The CP932 text at an em of `pixel_size` pixels. The image of a text is made once and kept
  // while it stays among the recently drawn ones; the reference holds until the next call.
  const TextImage& Render(std::string_view cp932, int pixel_size);

  // How many text images are kept at most.
  static constexpr std::size_t kTextCacheSize = 256;
  // Larger sizes draw at this one; no screen is that tall.
  static constexpr int kMaxPixelSize = 2048;

 private:
  struct Glyph;
  struct Impl;

  const Glyph& GlyphOf(int pixel_size, char32_t code);
  TextImage Compose(std::string_view cp932, int pixel_size);

  FontFace face_;
  std::unique_ptr<Impl> impl_;

  // Most recently used first.
  std::list<std::pair<std::string, TextImage>> texts_;
  std::unordered_map<std::string_view, std::list<std::pair<std::string, TextImage>>::iterator> index_;
  std::string key_;
};

}  // namespace platform
