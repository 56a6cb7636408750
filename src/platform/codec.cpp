#include "platform/codec.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

namespace platform {
namespace {

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1))
      throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts as much as possible; on an invalid or inconvertible sequence either stops
  // (returns false) or, with `replacement`, writes it and skips one input byte.
  bool Convert(std::string_view in, std::string& out, const char* replacement) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    out.clear();
    char* src = const_cast<char*>(in.data());
    std::size_t left = in.size();
    char buf[256];
    while (left > 0) {
      char* dst = buf;
      std::size_t room = sizeof buf;
      std::size_t r = iconv(cd_, &src, &left, &dst, &room);
      out.append(buf, static_cast<std::size_t>(dst - buf));
      if (r != static_cast<std::size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      if (!replacement) return false;
      out += replacement;
      ++src;
      --left;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    return true;
  }

 private:
  iconv_t cd_;
};

// One converter per thread and direction, kept for the whole run.
Converter& FromCp932() {
  thread_local Converter conv("UTF-8", "CP932");
  return conv;
}

}  // namespace

std::string Cp932ToUtf8(std::string_view cp932) {
  std::string out;
  FromCp932().Convert(cp932, out, "\xEF\xBF\xBD");
  return out;
}

std::optional<std::string> Cp932ToUtf8Checked(std::string_view cp932) {
  std::string out;
  if (!FromCp932().Convert(cp932, out, nullptr)) return std::nullopt;
  return out;
}

std::optional<std::string> Utf8ToCp932(std::string_view utf8) {
  thread_local Converter conv("CP932", "UTF-8");
  std::string out;
  if (!conv.Convert(utf8, out, nullptr)) return std::nullopt;
  return out;
}

}  // namespace platform
