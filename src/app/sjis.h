#pragma once
// The program's text is CP932. Japanese literals are written in UTF-8 in the sources and turned
// into CP932 once, here.
#include <string>
#include <string_view>
#include <vector>

namespace app {

// The CP932 form of a UTF-8 literal; converted on first use and kept. A literal that CP932
// cannot express is a programming error and throws.
const std::string& Sjis(std::u8string_view utf8);

// The byte length of the CP932 character that starts at `pos` (1 or 2; a lead byte at the very
// end counts as one).
std::size_t Cp932CharLength(std::string_view text, std::size_t pos);
// The text cut into its CP932 characters.
std::vector<std::string> Cp932Chars(std::string_view text);

}  // namespace app
