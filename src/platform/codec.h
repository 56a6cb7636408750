#pragma once
// Conversion between the program's CP932 (Shift-JIS) text and UTF-8, for the places where text
// leaves or enters the program: glyphs, typed text, file names, standard error, web addresses.
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Bytes that are not valid CP932 become U+FFFD.
std::string Cp932ToUtf8(std::string_view cp932);
// Nothing when the bytes are not valid CP932 (a stray or unassigned code).
std::optional<std::string> Cp932ToUtf8Checked(std::string_view cp932);
// Nothing when the text holds a character CP932 cannot express or is not valid UTF-8.
std::optional<std::string> Utf8ToCp932(std::string_view utf8);

}  // namespace platform
