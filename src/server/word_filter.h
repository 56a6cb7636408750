#pragma once
// Words that may not appear in a name or a comment, matched the way a reader sees the text:
// full-width and half-width forms alike (ＡＢＣ and ABC, ｶﾞ and ガ), letters of either case, and
// katakana and hiragana alike.
#include <string>
#include <string_view>
#include <vector>

namespace server {

// The form two texts share when a reader takes them for the same: full-width ASCII becomes
// ASCII, half-width katakana becomes full-width, katakana becomes hiragana, a voiced or
// semi-voiced kana becomes its plain kana and a combining mark (so ｶﾞ, ガ, が and か with U+3099
// all meet), letters (Latin, Greek, Cyrillic) become lower case, and the ideographic space a
// space. UTF-8 in and out; a byte that starts no valid character is kept as it is.
std::string NormaliseForMatching(std::string_view utf8);
// Well-formed UTF-8 by its lead and continuation bytes.
bool IsUtf8(std::string_view text);

class WordFilter {
 public:
  // Words as the admin typed them (UTF-8); an empty one, or one that normalises to nothing, is
  // ignored.
  void Set(const std::vector<std::string>& words);
  bool Empty() const { return words_.empty(); }
  // Whether `utf8` holds one of the words.
  bool Matches(std::string_view utf8) const;
  // The same, for text already normalised.
  bool MatchesNormalised(std::string_view normalised) const;

 private:
  std::vector<std::string> words_;  // normalised
};

}  // namespace server
