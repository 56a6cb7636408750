#include "platform/text.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/codec.h"
#include "platform/files.h"

namespace platform {
namespace {

// Decodes UTF-8 made by the codec (so well formed).
std::u32string DecodeUtf8(std::string_view s) {
  std::u32string out;
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
    char32_t code = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
    ++i;
    for (int k = 0; k < extra && i < s.size(); ++k, ++i) code = (code << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
    out.push_back(code);
  }
  return out;
}

}  // namespace

// A glyph at one size, as covered runs relative to its origin on the baseline.
struct TextRenderer::Glyph {
  int advance = 0;
  std::vector<TextImage::Run> runs;
};

struct TextRenderer::Impl {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  int pixel_size = 0;
  // Glyphs by (size << 32 | code point).
  std::unordered_map<std::uint64_t, Glyph> glyphs;
  Glyph empty;
};

TextRenderer& TextRenderer::Shared() {
  static TextRenderer renderer([] {
    FontFace face = FindTextFace();
    std::string advice = MissingFontAdvice(face);
    if (!advice.empty()) ReportToStderr(advice);
    return face;
  }());
  return renderer;
}

TextRenderer::TextRenderer(const FontFace& face) : face_(face), impl_(std::make_unique<Impl>()) {
  if (face_.file.empty()) return;
  if (FT_Init_FreeType(&impl_->library) != 0) {
    impl_->library = nullptr;
    return;
  }
  if (FT_New_Face(impl_->library, face_.file.c_str(), face_.index, &impl_->face) != 0) impl_->face = nullptr;
}

TextRenderer::~TextRenderer() {
  if (impl_->face) FT_Done_Face(impl_->face);
  if (impl_->library) FT_Done_FreeType(impl_->library);
}

const TextRenderer::Glyph& TextRenderer::GlyphOf(int pixel_size, char32_t code) {
  std::uint64_t key = (static_cast<std::uint64_t>(pixel_size) << 32) | code;
  auto found = impl_->glyphs.find(key);
  if (found != impl_->glyphs.end()) return found->second;
  FT_Face face = impl_->face;
  if (!face) return impl_->empty;
  // The glyphs of a long run with many sizes are few; drop them all when they pile up.
  if (impl_->glyphs.size() >= 8192) impl_->glyphs.clear();
  Glyph& glyph = impl_->glyphs[key];
  if (impl_->pixel_size != pixel_size) {
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixel_size)) != 0) return glyph;
    impl_->pixel_size = pixel_size;
  }
  // The auto-hinter gives even stems at small sizes; the mono target keeps the edges hard.
  if (FT_Load_Char(face, code, FT_LOAD_RENDER | FT_LOAD_FORCE_AUTOHINT | FT_LOAD_TARGET_MONO) != 0) return glyph;
  FT_GlyphSlot slot = face->glyph;
  glyph.advance = static_cast<int>((slot->advance.x + 32) >> 6);
  const FT_Bitmap& bitmap = slot->bitmap;
  const bool mono = bitmap.pixel_mode == FT_PIXEL_MODE_MONO;
  if (!mono && bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) return glyph;
  for (unsigned row = 0; row < bitmap.rows; ++row) {
    const unsigned char* line = bitmap.buffer + static_cast<std::ptrdiff_t>(row) * bitmap.pitch;
    auto covered = [&](unsigned x) {
      return mono ? (line[x >> 3] & (0x80 >> (x & 7))) != 0 : line[x] >= 128;
    };
    for (unsigned x = 0; x < bitmap.width;) {
      if (!covered(x)) {
        ++x;
        continue;
      }
      unsigned start = x;
      while (x < bitmap.width && covered(x)) ++x;
      glyph.runs.push_back({static_cast<int>(row) - slot->bitmap_top, slot->bitmap_left + static_cast<int>(start),
                            static_cast<int>(x - start)});
    }
  }
  return glyph;
}

TextImage TextRenderer::Compose(std::string_view cp932, int pixel_size) {
  TextImage image;
  image.height = pixel_size;
  FT_Face face = impl_->face;
  if (!face) return image;
  // The cell is one em tall with the baseline where the face's ascent puts it, so texts of any
  // face line up as the screens lay them out.
  long ascender = face->ascender, descender = face->descender;
  int baseline = ascender - descender > 0
                     ? static_cast<int>(std::lround(static_cast<double>(pixel_size) * ascender / (ascender - descender)))
                     : pixel_size * 4 / 5;
  int pen = 0;
  for (char32_t code : DecodeUtf8(Cp932ToUtf8(cp932))) {
    const Glyph& glyph = GlyphOf(pixel_size, code);
    for (const TextImage::Run& r : glyph.runs) image.runs.push_back({baseline + r.y, pen + r.x, r.length});
    pen += glyph.advance;
  }
  image.width = pen;
  std::sort(image.runs.begin(), image.runs.end(),
            [](const TextImage::Run& a, const TextImage::Run& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
  // Join runs that touch or overlap, so each pixel is drawn once.
  std::vector<TextImage::Run> merged;
  for (const TextImage::Run& r : image.runs) {
    if (!merged.empty() && merged.back().y == r.y && r.x <= merged.back().x + merged.back().length) {
      merged.back().length = std::max(merged.back().length, r.x + r.length - merged.back().x);
      continue;
    }
    merged.push_back(r);
  }
  image.runs = std::move(merged);
  if (image.runs.empty()) return image;
  int left = image.runs.front().x, right = left, top = image.runs.front().y, bottom = image.runs.back().y + 1;
  for (const TextImage::Run& r : image.runs) {
    left = std::min(left, r.x);
    right = std::max(right, r.x + r.length);
  }
  const long long area = static_cast<long long>(right - left) * (bottom - top);
  if (area > TextImage::kMaxMaskArea) return image;
  image.mask_left = left;
  image.mask_top = top;
  image.mask_width = right - left;
  image.mask_height = bottom - top;
  image.mask.assign(static_cast<std::size_t>(area), 0);
  for (const TextImage::Run& r : image.runs)
    std::fill_n(image.mask.begin() + static_cast<std::ptrdiff_t>(r.y - top) * image.mask_width + (r.x - left), r.length,
                std::uint8_t{0xFF});
  return image;
}

const TextImage& TextRenderer::Render(std::string_view cp932, int pixel_size) {
  pixel_size = std::clamp(pixel_size, 1, kMaxPixelSize);
  // The same text again (the title draws one text thousands of times a frame) is the front one.
  if (!texts_.empty() && texts_.front().first.size() == sizeof pixel_size + cp932.size() &&
      std::memcmp(texts_.front().first.data(), &pixel_size, sizeof pixel_size) == 0 &&
      std::string_view(texts_.front().first).substr(sizeof pixel_size) == cp932)
    return texts_.front().second;
  key_.assign(reinterpret_cast<const char*>(&pixel_size), sizeof pixel_size);
  key_.append(cp932);
  auto found = index_.find(key_);
  if (found != index_.end()) {
    texts_.splice(texts_.begin(), texts_, found->second);
    return found->second->second;
  }
  texts_.emplace_front(key_, Compose(cp932, pixel_size));
  index_.emplace(texts_.front().first, texts_.begin());
  if (texts_.size() > kTextCacheSize) {
    index_.erase(texts_.back().first);
    texts_.pop_back();
  }
  return texts_.front().second;
}

}  // namespace platform
