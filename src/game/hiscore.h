#pragma once
// The all-time top-ten table, its check value and the file hisc.dat that keeps them.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace game {

// Ten places, best first, and an overflow slot; slots are numbered 1 to 11 (0 is unused).
struct HighScoreTable {
  std::array<std::int32_t, 12> HiScores{};
  std::array<std::string, 12> HiDates{};

  // 100, 90, ... 10, all dated 00/01/01 00:00.
  void FillDefaults();
  // Puts a finished game's total in its place, dated `date_text`; returns the place (1 to 10)
  // or 0. Of equal scores the older keeps the better place.
  int Enter(std::int32_t total, const std::string& date_text);
};

// The score check value: ((s mod 98) * 855) mod 8998 + 1011, remainders truncated toward zero.
std::int32_t CheckValueOf(std::int32_t score);

// What hisc.dat holds.
struct HiscData {
  HighScoreTable table;
  std::int32_t StoredCheckValue = 0;
  std::string PlayerName;  // CP932
};

// Reads the file's bytes into `data` by the text-file rules. A word that is not a number raises
// EInOutError; whatever was read before it stays in `data`. Returns false when the file ended
// before the check value was reached (a short or damaged file), true otherwise.
bool ParseHiscFile(std::string_view bytes, HiscData& data);
// The 22 CR LF lines of the file.
std::string FormatHiscFile(const HiscData& data);

inline constexpr const char* kHiscFileName = "hisc.dat";
inline constexpr const char* kHiscBackupName = "hisc.dat.bak";

}  // namespace game
