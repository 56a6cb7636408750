#include "ranking/nmextstr.h"

#include "app/sysutils.h"

namespace ranking {

namespace {

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

const std::string& TExStringList::operator[](int index) const {
  if (index < 0 || index >= Count()) app::ThrowListIndexError(index);
  return lines_[static_cast<std::size_t>(index)];
}

void TExStringList::Delete(int index) {
  if (index < 0 || index >= Count()) app::ThrowListIndexError(index);
  lines_.erase(lines_.begin() + index);
}

std::string TExStringList::Text() const {
  std::string out;
  for (const std::string& line : lines_) {
    out += line;
    out += "\r\n";
  }
  return out;
}

int TExStringList::HeaderIndex(std::string_view name) const {
  for (int i = 0; i < Count(); ++i) {
    std::string_view line = lines_[static_cast<std::size_t>(i)];
    std::size_t colon = line.find(':');
    if (colon != std::string_view::npos && SameTextAscii(line.substr(0, colon), name)) return i;
  }
  return -1;
}

void TExStringList::SetHeaderValue(std::string_view name, std::string_view value) {
  int index = HeaderIndex(name);
  if (value.empty()) {
    if (index >= 0) Delete(index);
    return;
  }
  std::string line = std::string(name) + ": " + std::string(value);
  if (index >= 0)
    lines_[static_cast<std::size_t>(index)] = std::move(line);
  else
    lines_.push_back(std::move(line));
}

}  // namespace ranking
