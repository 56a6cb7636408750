#pragma once
// Text files as the program reads and writes them: lines end at CR (an LF right after the CR
// belongs to the line end; an LF alone is an ordinary character), Ctrl-Z ends the file, and
// numbers are read as blank-separated words.
#include <cstdint>
#include <string>
#include <string_view>

namespace app {

class TextReader {
 public:
  // `bytes` is the whole file; everything from the first Ctrl-Z on is ignored.
  explicit TextReader(std::string_view bytes);

  bool Eof() const { return pos_ >= text_.size(); }

  // Skips characters up to code 32, then converts the following word (up to 32 characters that
  // are above code 32) as a signed decimal integer. At the end of the file the number is 0.
  // A word that is no 32-bit decimal integer raises EInOutError 106.
  std::int32_t ReadInteger();
  // Consumes everything up to and including the next line end.
  void SkipLine();
  // The characters up to the next CR or the end of the file; the line end is consumed too.
  std::string ReadLine();

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

class TextWriter {
 public:
  void WriteLine(std::string_view line) {
    out_ += line;
    out_ += "\r\n";
  }
  void WriteLine(std::int32_t value) { WriteLine(std::to_string(value)); }
  const std::string& Bytes() const { return out_; }

 private:
  std::string out_;
};

}  // namespace app
