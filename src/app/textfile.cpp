#include "app/textfile.h"

#include <charconv>

#include "app/sysutils.h"

namespace app {

namespace {
constexpr char kCtrlZ = 26;
constexpr std::size_t kMaxNumberWord = 32;
}  // namespace

TextReader::TextReader(std::string_view bytes) : text_(bytes) {
  if (auto eof = text_.find(kCtrlZ); eof != std::string_view::npos) text_ = text_.substr(0, eof);
}

std::int32_t TextReader::ReadInteger() {
  while (pos_ < text_.size() && static_cast<unsigned char>(text_[pos_]) <= 32) ++pos_;
  std::size_t start = pos_;
  while (pos_ < text_.size() && pos_ - start < kMaxNumberWord &&
         static_cast<unsigned char>(text_[pos_]) > 32)
    ++pos_;
  std::string_view word = text_.substr(start, pos_ - start);
  if (word.empty()) return 0;
  std::string_view digits = word;
  bool negative = false;
  if (digits.front() == '+' || digits.front() == '-') {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  std::int64_t value = 0;
  if (digits.empty() || digits.front() < '0' || digits.front() > '9')
    throw EInOutError(106, "Invalid numeric input");
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc() || end != digits.data() + digits.size())
    throw EInOutError(106, "Invalid numeric input");
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) throw EInOutError(106, "Invalid numeric input");
  return static_cast<std::int32_t>(value);
}

void TextReader::SkipLine() {
  while (pos_ < text_.size()) {
    char c = text_[pos_++];
    if (c == '\r') {
      if (pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
      return;
    }
  }
}

std::string TextReader::ReadLine() {
  std::size_t start = pos_;
  while (pos_ < text_.size() && text_[pos_] != '\r') ++pos_;
  std::string line(text_.substr(start, pos_ - start));
  SkipLine();
  return line;
}

}  // namespace app
