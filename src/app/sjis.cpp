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

}  // namespace app
