#include "server/periods.h"

#include <ctime>
#include <limits>

namespace server {
namespace {

// Local midnight of the day `days` after the local day of `now`. mktime carries a day past the
// month's end and finds whether summer time is in force on that day.
std::int64_t LocalMidnight(std::int64_t now, int days, bool month_start) {
  std::time_t t = static_cast<std::time_t>(now);
  std::tm tm{};
  if (!localtime_r(&t, &tm)) return now;
  if (month_start) tm.tm_mday = 1;
  tm.tm_mday += days;
  tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
  tm.tm_isdst = -1;
  std::time_t start = std::mktime(&tm);
  return start == static_cast<std::time_t>(-1) ? now : static_cast<std::int64_t>(start);
}

}  // namespace

std::string_view PeriodName(Period period) {
  switch (period) {
    case Period::kAll: return "all";
    case Period::kToday: return "today";
    case Period::kWeek: return "week";
    case Period::kMonth: return "month";
  }
  return "all";
}

std::optional<Period> ParsePeriod(std::string_view name) {
  for (Period p : kPeriods)
    if (PeriodName(p) == name) return p;
  return std::nullopt;
}

std::int64_t PeriodStart(Period period, std::int64_t now) {
  switch (period) {
    case Period::kAll: return std::numeric_limits<std::int64_t>::min();
    case Period::kToday: return LocalMidnight(now, 0, false);
    case Period::kWeek: {
      std::time_t t = static_cast<std::time_t>(now);
      std::tm tm{};
      if (!localtime_r(&t, &tm)) return now;
      int since_monday = (tm.tm_wday + 6) % 7;  // tm_wday counts from Sunday
      return LocalMidnight(now, -since_monday, false);
    }
    case Period::kMonth: return LocalMidnight(now, 0, true);
  }
  return now;
}

std::int64_t NextMidnight(std::int64_t now) { return LocalMidnight(now, 1, false); }

}  // namespace server
