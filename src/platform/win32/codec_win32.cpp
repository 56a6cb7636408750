// CP932 through Windows' own code page 932, with its NEC and IBM extensions.
#include <windows.h>

#include "platform/codec.h"
#include "platform/win32/wide.h"

namespace platform {
namespace win32 {

std::wstring Widen(std::string_view bytes, unsigned code_page, bool* ok) {
  if (ok) *ok = true;
  if (bytes.empty()) return {};
  const int size = static_cast<int>(bytes.size());
  int n = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
  if (n > 0) {
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), size, out.data(), n);
    return out;
  }
  if (ok) *ok = false;
  // Character by character, so that each invalid byte alone becomes U+FFFD.
  std::wstring out;
  for (std::size_t i = 0; i < bytes.size();) {
    std::size_t len = 1;
    if (code_page == kCodePage932 && i + 1 < bytes.size() &&
        IsDBCSLeadByteEx(code_page, static_cast<BYTE>(bytes[i])))
      len = 2;
    else if (code_page == CP_UTF8) {
      unsigned char c = static_cast<unsigned char>(bytes[i]);
      len = c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
      len = std::min(len, bytes.size() - i);
    }
    wchar_t buf[4];
    int got = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data() + i, static_cast<int>(len), buf, 4);
    if (got > 0) {
      out.append(buf, static_cast<std::size_t>(got));
      i += len;
    } else {
      out += L'\uFFFD';
      ++i;
    }
  }
  return out;
}

std::string Narrow(std::wstring_view wide, unsigned code_page, bool* ok) {
  if (ok) *ok = true;
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const bool utf8 = code_page == CP_UTF8;
  // No best-fit mapping: a character code page 932 lacks must not turn into a look-alike.
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL used_default = FALSE;
  BOOL* used = utf8 ? nullptr : &used_default;
  int n = WideCharToMultiByte(code_page, flags, wide.data(), size, nullptr, 0, nullptr, used);
  if (n <= 0) {
    if (ok) *ok = false;
    return {};
  }
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(code_page, flags, wide.data(), size, out.data(), n, nullptr, used);
  if (ok && used_default) *ok = false;
  return out;
}

}  // namespace win32

std::string Cp932ToUtf8(std::string_view cp932) {
  return win32::Narrow(win32::Widen(cp932, win32::kCodePage932), CP_UTF8);
}

std::optional<std::string> Cp932ToUtf8Checked(std::string_view cp932) {
  bool ok = true;
  std::wstring wide = win32::Widen(cp932, win32::kCodePage932, &ok);
  if (!ok) return std::nullopt;
  return win32::Narrow(wide, CP_UTF8);
}

std::optional<std::string> Utf8ToCp932(std::string_view utf8) {
  bool ok = true;
  std::wstring wide = win32::Widen(utf8, CP_UTF8, &ok);
  if (!ok) return std::nullopt;
  std::string out = win32::Narrow(wide, win32::kCodePage932, &ok);
  if (!ok) return std::nullopt;
  return out;
}

}  // namespace platform
