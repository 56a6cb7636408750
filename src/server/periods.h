#pragma once
// The spans a ranking may cover besides all time: today, this week and this month, in the
// server's local time zone (the page's dates are local too). A week begins on Monday at 00:00,
// as ISO 8601 counts weeks.
#include <cstdint>
#include <optional>
#include <string_view>

namespace server {

enum class Period { kAll, kToday, kWeek, kMonth };
inline constexpr Period kPeriods[] = {Period::kAll, Period::kToday, Period::kWeek, Period::kMonth};
inline constexpr std::size_t kPeriodCount = 4;

// "all", "today", "week", "month": the word of the query (?period=week) and of the command line.
std::string_view PeriodName(Period period);
std::optional<Period> ParsePeriod(std::string_view name);

// The Unix time the period that holds `now` began (the smallest time for kAll).
std::int64_t PeriodStart(Period period, std::int64_t now);
// The next local midnight after `now`: where today ends, and where a week or a month may.
std::int64_t NextMidnight(std::int64_t now);

}  // namespace server
