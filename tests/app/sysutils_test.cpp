#include "app/sysutils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/platform.h"

namespace {

TEST(FormatFloat, TwoIntegerDigitsAndTwoDecimals) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {60.0, "60.00"}, {0.0, "00.00"},  {4.99, "04.99"},   {4.999, "05.00"}, {5.0, "05.00"},
      {0.005, "00.01"}, {0.004, "00.00"}, {12.345, "12.35"}, {59.995, "60.00"}, {123.4, "123.40"},
  };
  for (const Case& c : cases) EXPECT_EQ(app::FormatFloat("00.00", c.value), c.text) << c.value;
}

TEST(FormatFloat, RoundsAsTheDecimalDigitsReadForEveryPlayTime) {
  // Every time a game can show, in milliseconds: halves of a hundredth go up, as written, even
  // where the binary value lies just below (0.145 is held as 0.14499...).
  for (int ms = 0; ms <= 60000; ++ms) {
    const int hundredths = (ms + 5) / 10;
    char expected[16];
    std::snprintf(expected, sizeof expected, "%02d.%02d", hundredths / 100, hundredths % 100);
    ASSERT_EQ(app::FormatFloat("00.00", ms / 1000.0), expected) << ms;
  }
}

TEST(FormatFloat, SignsPatternsAndValuesBeyondAnInteger) {
  struct Case {
    const char* pattern;
    double value;
    const char* text;
  };
  const Case cases[] = {
      {"00.00", -1.5, "-01.50"},  {"00.00", -0.004, "00.00"}, {"00.00", -0.005, "-00.01"},
      {"0", 2.5, "3"},            {"0", 0.49, "0"},           {"0.0", 9.95, "10.0"},
      {"00.00", 1e15, "1000000000000000.00"},
      {"0", 1e20, "100000000000000000000"},
      {"00.00", std::numeric_limits<double>::infinity(), "INF"},
      {"00.00", std::nan(""), "NAN"},
  };
  for (const Case& c : cases) EXPECT_EQ(app::FormatFloat(c.pattern, c.value), c.text) << c.pattern << " " << c.value;
}

TEST(DateTime, DateValueTwoIsTheFirstOfJanuary1900) {
  EXPECT_EQ(app::DateTimeText(app::DecodeDateTime(2.0)), "00/01/01 00:00");
  EXPECT_EQ(app::DateTimeText(app::DecodeDateTime(0.0)), "99/12/30 00:00");
}

TEST(DateTime, TextIsTwoDigitFieldsWithSlashesAndColon) {
  platform::LocalTime t{2007, 3, 25, 14, 5, 59, 999};
  EXPECT_EQ(app::DateTimeText(t), "07/03/25 14:05");
  EXPECT_EQ(app::DateText(t), "07/03/25");
  platform::LocalTime back = app::DecodeDateTime(app::EncodeDateTime({2026, 12, 31, 23, 59, 0, 0}));
  EXPECT_EQ(app::DateTimeText(back), "26/12/31 23:59");
  EXPECT_EQ(app::DateTimeText(app::DecodeDateTime(app::EncodeDateTime({2000, 2, 29, 0, 0, 0, 0}))),
            "00/02/29 00:00");
}

TEST(Random, IsTheClassicLinearCongruentialGenerator) {
  app::RandSeed = 0;
  EXPECT_EQ(app::Random(10), 0);  // seed becomes 1
  EXPECT_EQ(app::RandSeed, 1u);
  app::RandSeed = 0x12345678;
  std::uint32_t next = 0x12345678u * 134775813u + 1u;
  EXPECT_EQ(app::Random(1000), static_cast<std::int32_t>((std::uint64_t(next) * 1000) >> 32));
  for (int i = 0; i < 1000; ++i) {
    std::int32_t v = app::Random(16777215);
    ASSERT_GE(v, 0);
    ASSERT_LT(v, 16777215);
  }
}

TEST(Format, FillsPlaceholdersInOrder) {
  EXPECT_EQ(app::Format("%s x %d%%", {"a", "3"}), "a x 3%");
  EXPECT_EQ(app::Format("(%dx%d %dbit)", {"320", "240", "8"}), "(320x240 8bit)");
}

}  // namespace
