#pragma once
// The texts the screens build from the game's numbers and dates.
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace game {

// The maker's line at the foot of the title screen.
inline constexpr const char* kMakerNotice = "Velkor Ver 1.12  (C) ROKLEV SOFTWORKS - free to play";

// The play clock in seconds, "00.00": at least two integer digits, hundredths rounded.
std::string TimeText(std::int32_t time_left);

// A ranking entry is from today when its date text starts with today's "yy/mm/dd".
bool DatedToday(const std::string& date_text, const platform::LocalTime& now);

// "歴代" + place + "位ﾊｲｽｺｱ", in CP932.
std::string NewRankText(std::int32_t rank);

// The maker's home page on the ranking host.
std::string MakerHomePage();

}  // namespace game
