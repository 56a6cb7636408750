#pragma once
// A list of header lines ("Name: value"), addressed by the header's name.
#include <string>
#include <string_view>
#include <vector>

namespace ranking {

class TExStringList {
 public:
  int Count() const { return static_cast<int>(lines_.size()); }
  const std::string& operator[](int index) const;
  void Add(std::string line) { lines_.push_back(std::move(line)); }
  void Delete(int index);
  void Clear() { lines_.clear(); }
  // Every line followed by CR LF.
  std::string Text() const;

  // The index of the first line whose text before its first ":" is `name`, in any letter case;
  // -1 when there is none.
  int HeaderIndex(std::string_view name) const;
  // With a value, sets the header's line to "name: value" (appending one when there is none);
  // with an empty value, deletes the header's line.
  void SetHeaderValue(std::string_view name, std::string_view value);

 private:
  std::vector<std::string> lines_;
};

}  // namespace ranking
