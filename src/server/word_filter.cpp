#include "server/word_filter.h"

#include <algorithm>

namespace server {
namespace {

constexpr char32_t kVoicedMark = 0x3099;      // combining dakuten
constexpr char32_t kSemiVoicedMark = 0x309A;  // combining handakuten

// Half-width katakana U+FF61..U+FF9F as full-width; the two half-width marks become the
// combining ones, so that ｶﾞ meets ガ once that is taken apart too.
constexpr char16_t kHalfWidthKana[] = {
    0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2, 0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9, 0x30E3, 0x30E5,
    0x30E7, 0x30C3, 0x30FC, 0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB, 0x30AD, 0x30AF, 0x30B1, 0x30B3,
    0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF, 0x30C1, 0x30C4, 0x30C6, 0x30C8, 0x30CA, 0x30CB, 0x30CC,
    0x30CD, 0x30CE, 0x30CF, 0x30D2, 0x30D5, 0x30D8, 0x30DB, 0x30DE, 0x30DF, 0x30E0, 0x30E1, 0x30E2, 0x30E4,
    0x30E6, 0x30E8, 0x30E9, 0x30EA, 0x30EB, 0x30EC, 0x30ED, 0x30EF, 0x30F3, 0x3099, 0x309A};
static_assert(std::size(kHalfWidthKana) == 0xFF9F - 0xFF61 + 1);

// Hiragana whose next code point is the same kana voiced (か が, ..., と ど).
constexpr char16_t kVoicable[] = {0x304B, 0x304D, 0x304F, 0x3051, 0x3053, 0x3055, 0x3057, 0x3059,
                                  0x305B, 0x305D, 0x305F, 0x3061, 0x3064, 0x3066, 0x3068};
// Hiragana followed by their voiced and semi-voiced forms (は ば ぱ, ...).
constexpr char16_t kSemiVoicable[] = {0x306F, 0x3072, 0x3075, 0x3078, 0x307B};

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The code point at `i` and its length in bytes; a byte that starts no valid sequence stands
// for itself (returned as a value above U+10FFFF so that it is never mistaken for a character).
constexpr char32_t kRawByte = 0x110000;
char32_t Decode(std::string_view s, std::size_t i, std::size_t& len) {
  auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
  auto cont = [&](std::size_t k) { return i + k < s.size() && (b(k) & 0xC0) == 0x80; };
  unsigned char lead = b(0);
  len = 1;
  if (lead < 0x80) return lead;
  if (lead >= 0xC2 && lead < 0xE0 && cont(1)) {
    len = 2;
    return char32_t(lead & 0x1F) << 6 | (b(1) & 0x3F);
  }
  if (lead >= 0xE0 && lead < 0xF0 && cont(1) && cont(2)) {
    char32_t c = char32_t(lead & 0x0F) << 12 | char32_t(b(1) & 0x3F) << 6 | (b(2) & 0x3F);
    if (c >= 0x800 && (c < 0xD800 || c > 0xDFFF)) {
      len = 3;
      return c;
    }
  }
  if (lead >= 0xF0 && lead < 0xF5 && cont(1) && cont(2) && cont(3)) {
    char32_t c = char32_t(lead & 0x07) << 18 | char32_t(b(1) & 0x3F) << 12 | char32_t(b(2) & 0x3F) << 6 |
                 (b(3) & 0x3F);
    if (c >= 0x10000 && c <= 0x10FFFF) {
      len = 4;
      return c;
    }
  }
  return kRawByte + lead;
}

// Appends the normalised form of one character.
void AppendNormalised(std::string& out, char32_t c) {
  if (c >= kRawByte) {
    out += static_cast<char>(c - kRawByte);
    return;
  }
  if (c >= 0xFF01 && c <= 0xFF5E) c -= 0xFEE0;  // full-width ASCII
  if (c == 0x3000) c = ' ';
  if (c >= 0xFF61 && c <= 0xFF9F) c = kHalfWidthKana[c - 0xFF61];
  if (c == 0x309B) c = kVoicedMark;  // the spacing marks, as a reader sees them
  if (c == 0x309C) c = kSemiVoicedMark;
  // Katakana as hiragana; ヷ..ヺ have none, so they become わ ゐ ゑ を with the mark.
  if (c >= 0x30F7 && c <= 0x30FA) {
    AppendUtf8(out, c - 0x30F7 + 0x308F);
    AppendUtf8(out, kVoicedMark);
    return;
  }
  if ((c >= 0x30A1 && c <= 0x30F6) || c == 0x30FD || c == 0x30FE) c -= 0x60;
  // Voiced kana taken apart into the plain kana and the combining mark.
  if (c == 0x3094) {  // ゔ
    AppendUtf8(out, 0x3046);
    AppendUtf8(out, kVoicedMark);
    return;
  }
  if (c == 0x309E) {  // ゞ
    AppendUtf8(out, 0x309D);
    AppendUtf8(out, kVoicedMark);
    return;
  }
  for (char16_t base : kVoicable) {
    if (c == char32_t(base) + 1) {
      AppendUtf8(out, base);
      AppendUtf8(out, kVoicedMark);
      return;
    }
  }
  for (char16_t base : kSemiVoicable) {
    if (c == char32_t(base) + 1 || c == char32_t(base) + 2) {
      AppendUtf8(out, base);
      AppendUtf8(out, c == char32_t(base) + 1 ? kVoicedMark : kSemiVoicedMark);
      return;
    }
  }
  // Letters of either case.
  if (c >= 'A' && c <= 'Z') c += 0x20;
  else if (c >= 0x0391 && c <= 0x03A9 && c != 0x03A2) c += 0x20;  // Greek
  else if (c >= 0x0410 && c <= 0x042F) c += 0x20;                 // Cyrillic
  else if (c == 0x0401) c = 0x0451;                               // Ё
  AppendUtf8(out, c);
}

}  // namespace

std::string NormaliseForMatching(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() + utf8.size() / 2);
  for (std::size_t i = 0; i < utf8.size();) {
    std::size_t len;
    char32_t c = Decode(utf8, i, len);
    AppendNormalised(out, c);
    i += len;
  }
  return out;
}

void WordFilter::Set(const std::vector<std::string>& words) {
  words_.clear();
  for (const std::string& word : words) {
    std::string normalised = NormaliseForMatching(word);
    if (!normalised.empty()) words_.push_back(std::move(normalised));
  }
  // Shorter words first: they are the likelier to be found, and the search ends at the first.
  std::sort(words_.begin(), words_.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  words_.erase(std::unique(words_.begin(), words_.end()), words_.end());
}

bool WordFilter::Matches(std::string_view utf8) const {
  if (words_.empty()) return false;
  return MatchesNormalised(NormaliseForMatching(utf8));
}

bool WordFilter::MatchesNormalised(std::string_view normalised) const {
  for (const std::string& word : words_) {
    if (word.size() > normalised.size()) return false;  // and so is every one after it
    if (normalised.find(word) != std::string_view::npos) return true;
  }
  return false;
}

bool IsUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    auto lead = static_cast<unsigned char>(s[i]);
    std::size_t len = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                                    : lead >= 0xF0 && lead < 0xF5 ? 4 : 0;
    if (len == 0 || i + len > s.size()) return false;
    for (std::size_t k = 1; k < len; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += len;
  }
  return true;
}

}  // namespace server
