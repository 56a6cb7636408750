#include "app/sjis.h"

#include <map>
#include <stdexcept>

#include "platform/codec.h"

namespace app {

const std::string& Sjis(std::u8string_view utf8) {
  static std::map<std::u8string, std::string, std::less<>> cache;
  auto it = cache.find(utf8);
  if (it != cache.end()) return it->second;
  std::string_view bytes(reinterpret_cast<const char*>(utf8.data()), utf8.size());
  auto converted = platform::Utf8ToCp932(bytes);
  if (!converted) throw std::logic_error("text has no CP932 form: " + std::string(bytes));
  return cache.emplace(std::u8string(utf8), std::move(*converted)).first->second;
}

std::size_t Cp932CharLength(std::string_view text, std::size_t pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  const bool double_byte = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC);
  return double_byte && pos + 1 < text.size() ? 2 : 1;
}

std::vector<std::string> Cp932Chars(std::string_view text) {
  std::vector<std::string> chars;
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t n = Cp932CharLength(text, pos);
    chars.emplace_back(text.substr(pos, n));
    pos += n;
  }
  return chars;
}

}  // namespace app
