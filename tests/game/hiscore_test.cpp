#include "game/hiscore.h"

#include <gtest/gtest.h>

#include "app/sjis.h"
#include "app/sysutils.h"

namespace {

using game::CheckValueOf;
using game::HighScoreTable;

TEST(CheckValueOf, FollowsTheFormula) {
  struct Case {
    std::int32_t score, value;
  };
  for (Case c : {Case{0, 1011}, Case{10, 9561}, Case{11, 1418}, Case{60, 7321}, Case{100, 2721},
                 Case{98, 1011}, Case{1234, 5611}, Case{-1, 1011 - 855}, Case{INT32_MAX, CheckValueOf(INT32_MAX % 98)},
                 Case{INT32_MIN, ((INT32_MIN % 98) * 855) % 8998 + 1011}})
    EXPECT_EQ(CheckValueOf(c.score), c.value) << c.score;
  for (std::int32_t s = 0; s < 2000; ++s) {
    ASSERT_EQ(CheckValueOf(s), CheckValueOf(s + 98));
    ASSERT_GE(CheckValueOf(s), 1011);
    ASSERT_LE(CheckValueOf(s), 9968);
    ASSERT_NE(CheckValueOf(-s), 0);
  }
}

HighScoreTable Defaults() {
  HighScoreTable t;
  t.FillDefaults();
  return t;
}

TEST(HighScoreTable, DefaultsAreAHundredDownToTenOnTheFirstDayOf1900) {
  HighScoreTable t = Defaults();
  for (int n = 1; n <= 10; ++n) {
    EXPECT_EQ(t.HiScores[n], (11 - n) * 10);
    EXPECT_EQ(t.HiDates[n], "00/01/01 00:00");
  }
  EXPECT_EQ(t.HiScores[11], 0);
}

TEST(HighScoreTable, EnteringAScore) {
  struct Case {
    const char* name;
    std::int32_t total;
    int place;
  };
  for (Case c : {Case{"equal to the tenth does not enter", 10, 0}, Case{"one above the tenth takes place 10", 11, 10},
                 Case{"equal to the best takes place 2", 100, 2}, Case{"above the best takes place 1", 101, 1},
                 Case{"between places", 55, 6}, Case{"zero", 0, 0}}) {
    SCOPED_TRACE(c.name);
    HighScoreTable t = Defaults();
    EXPECT_EQ(t.Enter(c.total, "26/12/09 23:00"), c.place);
    if (c.place == 0) continue;
    EXPECT_EQ(t.HiScores[c.place], c.total);
    EXPECT_EQ(t.HiDates[c.place], "26/12/09 23:00");
    for (int n = 1; n < 10; ++n) EXPECT_GE(t.HiScores[n], t.HiScores[n + 1]);
    EXPECT_EQ(t.HiScores[11], 10);  // the old tenth went to the overflow slot
  }
}

TEST(HiscFile, RoundTripKeepsTableCheckValueAndCp932Name) {
  game::HiscData data;
  data.table = Defaults();
  data.table.Enter(1234, "26/12/09 23:59");
  data.StoredCheckValue = CheckValueOf(1234);
  data.PlayerName = app::Sjis(u8"ﾉﾙﾀﾞｰｽ太郎");
  std::string bytes = game::FormatHiscFile(data);
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 22);
  EXPECT_EQ(bytes.substr(0, 22), "1234\r\n26/12/09 23:59\r\n");
  EXPECT_EQ(bytes.substr(bytes.size() - data.PlayerName.size() - 8), "5611\r\n" + data.PlayerName + "\r\n");

  game::HiscData back;
  EXPECT_TRUE(game::ParseHiscFile(bytes, back));
  for (int n = 1; n <= 10; ++n) {
    EXPECT_EQ(back.table.HiScores[n], data.table.HiScores[n]);
    EXPECT_EQ(back.table.HiDates[n], data.table.HiDates[n]);
  }
  EXPECT_EQ(back.StoredCheckValue, 5611);
  EXPECT_EQ(back.PlayerName, data.PlayerName);
}

std::string TableText(const char* eol) {
  std::string s;
  for (int n = 1; n <= 10; ++n) s += std::to_string((11 - n) * 10) + eol + "00/01/01 00:00" + eol;
  return s + "5611" + eol + "name" + eol;
}

TEST(HiscFile, AwkwardFiles) {
  struct Case {
    const char* name;
    std::string bytes;
    bool whole;
    std::int32_t first, tenth, check;
    std::string first_date, player;
  };
  const Case cases[] = {
      {"CR LF", TableText("\r\n"), true, 100, 10, 5611, "00/01/01 00:00", "name"},
      {"CR only", TableText("\r"), true, 100, 10, 5611, "00/01/01 00:00", "name"},
      // A lone LF is no line end: the rest of the first line swallows the file.
      {"LF only", TableText("\n"), false, 100, 0, 0, "", ""},
      {"Ctrl-Z after the check value", TableText("\r\n").substr(0, 207) + "\x1a" "garbage", true, 100, 10,
       5611, "00/01/01 00:00", ""},
      {"short file", "77\r\n01/02/03 04:05\r\n", false, 77, 0, 0, "01/02/03 04:05", ""},
      {"missing file contents", "", false, 0, 0, 0, "", ""},
      {"blanks around numbers", " \t100  \r\n00/01/01 00:00\r\n" + TableText("\r\n").substr(21), true, 100, 10,
       5611, "00/01/01 00:00", "name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    game::HiscData d;
    EXPECT_EQ(game::ParseHiscFile(c.bytes, d), c.whole);
    EXPECT_EQ(d.table.HiScores[1], c.first);
    EXPECT_EQ(d.table.HiScores[10], c.tenth);
    EXPECT_EQ(d.table.HiDates[1], c.first_date);
    EXPECT_EQ(d.StoredCheckValue, c.check);
    EXPECT_EQ(d.PlayerName, c.player);
  }
}

TEST(HiscFile, NonNumericScoreStopsWithTheEntriesBeforeItKept) {
  std::string bytes = "100\r\n00/01/01 00:00\r\n90\r\n00/01/01 00:00\r\nninety\r\nx\r\n";
  game::HiscData d;
  EXPECT_THROW(game::ParseHiscFile(bytes, d), app::EInOutError);
  EXPECT_EQ(d.table.HiScores[1], 100);
  EXPECT_EQ(d.table.HiScores[2], 90);
  EXPECT_EQ(d.table.HiScores[3], 0);
  EXPECT_EQ(d.table.HiDates[2], "00/01/01 00:00");
}

}  // namespace
