#pragma once
// Exceptions, number and date formatting, and the program's random generator.
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace platform { struct LocalTime; class Platform; }

namespace app {

// Every error the program raises carries a message in CP932, shown to the player as it stands.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// Text-file input and output errors; `ErrorCode` is the classic I/O result number.
class EInOutError : public Exception {
 public:
  EInOutError(int code, std::string message) : Exception(std::move(message)), ErrorCode(code) {}
  int ErrorCode;
};

class EListError : public Exception {
 public:
  using Exception::Exception;
};

// "List index out of bounds (%d)".
[[noreturn]] void ThrowListIndexError(long index);

// Replaces each %s, %d (and %%) of `pattern` in order; enough for the program's message table.
std::string Format(std::string_view pattern, std::initializer_list<std::string> args);

// A text that is not a number where one is needed.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

std::string IntToStr(long long value);
// A decimal 32-bit integer: leading blanks, an optional sign, digits and nothing after them.
bool TryStrToInt(std::string_view text, std::int32_t& value);
// The same, raising EConvertError "'text' is not a valid integer value" for anything else.
std::int32_t StrToInt(std::string_view text);

// Formats `value` with a pattern of the form "00.00": at least as many integer digits as the
// pattern has zeros before the point, exactly as many decimals as after it, rounded to nearest
// (halves away from zero) as the value's 15 significant decimal digits read.
std::string FormatFloat(std::string_view pattern, double value);

// Date values count days from 30 December 1899, as the program's date system does.
using TDateTime = double;
TDateTime EncodeDateTime(const platform::LocalTime& t);
platform::LocalTime DecodeDateTime(TDateTime value);
// "yy/mm/dd hh:nn": two-digit year, month, day with slashes, hour and minute with a colon.
std::string DateTimeText(const platform::LocalTime& t);
// "yy/mm/dd".
std::string DateText(const platform::LocalTime& t);

// The one random generator of the program, a 32-bit linear congruential generator.
extern std::uint32_t RandSeed;
void Randomize(platform::Platform& platform);
// A uniform integer from 0 to range - 1 (0 when range is 0 or less).
std::int32_t Random(std::int32_t range);

}  // namespace app
