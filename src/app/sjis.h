#pragma once
// The program's text is CP932. Japanese literals are written in UTF-8 in the sources and turned
// into CP932 once, here.
#include <string>
#include <string_view>

namespace app {

// The CP932 form of a UTF-8 literal; converted on first use and kept. A literal that CP932
// cannot express is a programming error and throws.
const std::string& Sjis(std::u8string_view utf8);

}  // namespace app
