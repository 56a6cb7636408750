#include "app/sysutils.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace app {

void ThrowListIndexError(long index) {
  throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

std::string Format(std::string_view pattern, std::initializer_list<std::string> args) {
  std::string out;
  auto next = args.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    if (c == '%' && i + 1 < pattern.size()) {
      char spec = pattern[i + 1];
      if (spec == '%') {
        out += '%';
        ++i;
        continue;
      }
      if ((spec == 's' || spec == 'd') && next != args.end()) {
        out += *next++;
        ++i;
        continue;
      }
    }
    out += c;
  }
  return out;
}

std::string IntToStr(long long value) { return std::to_string(value); }

bool TryStrToInt(std::string_view text, std::int32_t& value) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  long long v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
    if (v > 2147483648LL) return false;
  }
  if (negative) v = -v;
  if (v > 2147483647LL) return false;
  value = static_cast<std::int32_t>(v);
  return true;
}

std::int32_t StrToInt(std::string_view text) {
  std::int32_t value;
  if (!TryStrToInt(text, value))
    throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
  return value;
}

std::string FormatFloat(std::string_view pattern, double value) {
  std::size_t point = pattern.find('.');
  int int_digits = static_cast<int>(point == std::string_view::npos ? pattern.size() : point);
  int decimals = point == std::string_view::npos ? 0 : static_cast<int>(pattern.size() - point - 1);
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  // Round the value as its 15 significant decimal digits read, half away from zero, so that
  // 0.145 (held as 0.14499..) shows as 0.15 as written. Working on the digits also keeps huge
  // values whole.
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));
  std::string digits = std::string(1, buf[0]) + std::string(buf + 2, 14);
  const int before_point = std::atoi(std::strchr(buf, 'e') + 1) + 1;
  const int keep = before_point + decimals;  // digits of the value times 10^decimals
  std::string units;
  if (keep >= 0) {
    units = digits.substr(0, static_cast<std::size_t>(std::min(keep, 15)));
    if (keep > 15) units.append(static_cast<std::size_t>(keep - 15), '0');
    if (keep < 15 && digits[keep] >= '5') {
      int i = static_cast<int>(units.size()) - 1;
      for (; i >= 0 && units[i] == '9'; --i) units[i] = '0';
      if (i < 0) units.insert(units.begin(), '1');
      else ++units[i];
    }
  }
  if (static_cast<int>(units.size()) < decimals + 1) units.insert(0, static_cast<std::size_t>(decimals + 1) - units.size(), '0');
  std::string int_part = units.substr(0, units.size() - decimals);
  std::string frac_part = units.substr(units.size() - decimals);
  int_part.erase(0, std::min(int_part.find_first_not_of('0'), int_part.size() - 1));
  while (static_cast<int>(int_part.size()) < int_digits) int_part.insert(int_part.begin(), '0');
  std::string out = decimals ? int_part + '.' + frac_part : int_part;
  if (value < 0 && units.find_first_not_of('0') != std::string::npos) out.insert(out.begin(), '-');
  return out;
}

namespace {

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// Days from 0001-01-01 to the given date (proleptic Gregorian).
long long DaysFromCivil(int y, int m, int d) {
  static const int cumulative[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  long long yy = y - 1;
  long long days = yy * 365 + yy / 4 - yy / 100 + yy / 400;
  days += cumulative[m - 1] + (m > 2 && IsLeap(y) ? 1 : 0);
  return days + d - 1;
}

const long long kEpoch = DaysFromCivil(1899, 12, 30);

std::string Two(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", ((v % 100) + 100) % 100);
  return buf;
}

}  // namespace

TDateTime EncodeDateTime(const platform::LocalTime& t) {
  double days = static_cast<double>(DaysFromCivil(t.year, t.month, t.day) - kEpoch);
  double time = (t.hour * 3600000.0 + t.minute * 60000.0 + t.second * 1000.0 + t.millisecond) / 86400000.0;
  return days + time;
}

platform::LocalTime DecodeDateTime(TDateTime value) {
  long long days = static_cast<long long>(std::floor(value));
  long long ms = std::llround((value - std::floor(value)) * 86400000.0);
  if (ms >= 86400000) {
    ms -= 86400000;
    ++days;
  }
  long long n = days + kEpoch;  // days since 0001-01-01
  int y = static_cast<int>(n / 366) + 1;
  while (DaysFromCivil(y + 1, 1, 1) <= n) ++y;
  int m = 1;
  while (m < 12 && DaysFromCivil(y, m + 1, 1) <= n) ++m;
  platform::LocalTime t;
  t.year = y;
  t.month = m;
  t.day = static_cast<int>(n - DaysFromCivil(y, m, 1)) + 1;
  t.hour = static_cast<int>(ms / 3600000);
  t.minute = static_cast<int>(ms / 60000 % 60);
  t.second = static_cast<int>(ms / 1000 % 60);
  t.millisecond = static_cast<int>(ms % 1000);
  return t;
}

std::string DateText(const platform::LocalTime& t) {
  return Two(t.year) + "/" + Two(t.month) + "/" + Two(t.day);
}

std::string DateTimeText(const platform::LocalTime& t) {
  return DateText(t) + " " + Two(t.hour) + ":" + Two(t.minute);
}

std::uint32_t RandSeed = 0;

void Randomize(platform::Platform& platform) { RandSeed = platform.RandomSeed(); }

std::int32_t Random(std::int32_t range) {
  RandSeed = RandSeed * 134775813u + 1u;
  if (range <= 0) return 0;
  return static_cast<std::int32_t>((static_cast<std::uint64_t>(RandSeed) * static_cast<std::uint32_t>(range)) >> 32);
}

}  // namespace app
