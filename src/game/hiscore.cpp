#include "game/hiscore.h"

#include "app/sysutils.h"
#include "app/textfile.h"
#include "platform/platform.h"

namespace game {

void HighScoreTable::FillDefaults() {
  // Date value 2.0: midnight of 1 January 1900.
  const std::string date = app::DateTimeText(app::DecodeDateTime(2.0));
  for (int n = 1; n <= 10; ++n) {
    HiScores[n] = (11 - n) * 10;
    HiDates[n] = date;
  }
}

int HighScoreTable::Enter(std::int32_t total, const std::string& date_text) {
  int place = 0;
  for (int n = 10; n >= 1; --n) {
    if (HiScores[n] < total) {
      HiScores[n + 1] = HiScores[n];
      HiDates[n + 1] = HiDates[n];
      HiScores[n] = total;
      HiDates[n] = date_text;
      place = n;
    }
  }
  return place;
}

std::int32_t CheckValueOf(std::int32_t score) { return ((score % 98) * 855) % 8998 + 1011; }

bool ParseHiscFile(std::string_view bytes, HiscData& data) {
  app::TextReader in(bytes);
  for (int n = 1; n <= 10; ++n) {
    data.table.HiScores[n] = in.ReadInteger();
    in.SkipLine();
    data.table.HiDates[n] = in.ReadLine();
  }
  bool whole = !in.Eof();
  data.StoredCheckValue = in.ReadInteger();
  in.SkipLine();
  data.PlayerName = in.ReadLine();
  return whole;
}

std::string FormatHiscFile(const HiscData& data) {
  app::TextWriter out;
  for (int n = 1; n <= 10; ++n) {
    out.WriteLine(data.table.HiScores[n]);
    out.WriteLine(data.table.HiDates[n]);
  }
  out.WriteLine(data.StoredCheckValue);
  out.WriteLine(data.PlayerName);
  return out.Bytes();
}

}  // namespace game
