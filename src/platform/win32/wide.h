#pragma once
// UTF-16, Windows' own text, to and from the program's CP932 and UTF-8.
#include <string>
#include <string_view>

namespace platform::win32 {

inline constexpr unsigned kCodePage932 = 932;

// Nothing is lost converting from `code_page` unless the bytes are invalid there; `ok` says so.
std::wstring Widen(std::string_view bytes, unsigned code_page, bool* ok = nullptr);
// `ok` is false when a character has no form in `code_page`.
std::string Narrow(std::wstring_view wide, unsigned code_page, bool* ok = nullptr);

// The folder of the running program, with a trailing backslash.
std::wstring ProgramFolder();

}  // namespace platform::win32
