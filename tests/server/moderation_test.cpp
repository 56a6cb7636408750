// The word filter, the bans and the periods, without the network.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>

#include "server/bans.h"
#include "server/periods.h"
#include "server/word_filter.h"

namespace server {
namespace {

std::string U8(std::u8string_view text) { return {reinterpret_cast<const char*>(text.data()), text.size()}; }

TEST(WordFilter, MatchesWordsAsAReaderSeesThem) {
  struct Case {
    std::u8string_view word, text;
    bool matches;
  } cases[] = {
      {u8"baka", u8"xx BAKA xx", true},
      {u8"baka", u8"ＢａＫａ", true},                 // full-width letters
      {u8"ＢＡＫＡ", u8"i am baka", true},
      {u8"ばか", u8"バカ", true},                      // katakana and hiragana
      {u8"バカ", u8"ﾊﾞｶだ", true},                     // half-width with its voiced mark
      {u8"ﾊﾞｶ", u8"ばか", true},
      {u8"が", u8"か\u3099", true},                    // a combining mark
      {u8"パン", u8"ﾊﾟﾝ", true},                       // the semi-voiced mark
      {u8"パン", u8"ﾊﾞﾝ", false},                      // ... is not the voiced one
      {u8"ばか", u8"はか", false},                     // a plain kana is not its voiced one
      {u8"ヴ", u8"ｳﾞ", true},
      {u8"ヴ", u8"ゔ", true},
      {u8"ヷ", u8"ﾜﾞ", true},
      {u8"ｰ", u8"ー", true},
      {u8"a b", u8"a\u3000b", true},                   // the ideographic space
      {u8"ΑΒΓ", u8"αβγ", true},                        // Greek and Cyrillic letters of either case
      {u8"МИР", u8"мир", true},
      {u8"1234", u8"１２３４５", true},
      {u8"abc", u8"ab c", false},
      {u8"猫", u8"ねこ", false},                       // no reading of kanji
  };
  for (const Case& c : cases) {
    WordFilter filter;
    filter.Set({U8(c.word)});
    EXPECT_EQ(filter.Matches(U8(c.text)), c.matches) << U8(c.word) << " in " << U8(c.text);
  }
}

TEST(WordFilter, HoldsManyWordsAndIgnoresEmptyOnes) {
  WordFilter filter;
  EXPECT_FALSE(filter.Matches("anything"));
  std::vector<std::string> words{"", "zzz"};
  for (int i = 0; i < 300; ++i) words.push_back("word" + std::to_string(i));
  filter.Set(words);
  EXPECT_TRUE(filter.Matches("a WORD299 b"));
  EXPECT_TRUE(filter.Matches("zzz"));
  EXPECT_FALSE(filter.Matches("wor d1"));
  EXPECT_FALSE(filter.Matches(""));
}

TEST(WordFilter, KeepsBytesThatAreNoTextAsTheyAre) {
  // Nothing lost or made up from broken input: such bytes match only themselves.
  EXPECT_EQ(NormaliseForMatching("a\xE3\x81"), "a\xE3\x81");
  EXPECT_EQ(NormaliseForMatching("\xFF" "A"), "\xFF" "a");
  EXPECT_EQ(NormaliseForMatching("\xED\xA0\x80"), "\xED\xA0\x80");  // a surrogate
}

TEST(Bans, AddressesAndNetworksOfBothFamilies) {
  struct Case {
    std::string ban, shown, client;
    bool banned;
  } cases[] = {
      {"192.0.2.7", "192.0.2.7", "192.0.2.7", true},
      {"192.0.2.7", "192.0.2.7", "192.0.2.8", false},
      {"192.0.2.99/24", "192.0.2.0/24", "192.0.2.200", true},
      {"192.0.2.0/24", "192.0.2.0/24", "192.0.3.1", false},
      {"0.0.0.0/0", "0.0.0.0/0", "203.0.113.9", true},
      {"::ffff:192.0.2.7", "192.0.2.7", "192.0.2.7", true},   // the mapped form is the IPv4 address
      {"192.0.2.7", "192.0.2.7", "::ffff:192.0.2.7", true},   // and so is the client's
      {"192.0.2.7", "192.0.2.7", "2001:db8::1", false},
      // An IPv6 client is counted by its /64: one address bans its network.
      {"2001:db8:1:2::5", "2001:db8:1:2::/64", "2001:db8:1:2:ffff::1", true},
      {"2001:db8:1:2::5/128", "2001:db8:1:2::/64", "2001:db8:1:2::6", true},
      {"2001:db8:1:2::5", "2001:db8:1:2::/64", "2001:db8:1:3::5", false},
      {"2001:db8::/32", "2001:db8::/32", "2001:db8:ffff:1::1", true},
      {"2001:db8::/32", "2001:db8::/32", "2001:db9::1", false},
  };
  for (const Case& c : cases) {
    auto network = ParseNetwork(c.ban);
    ASSERT_TRUE(network) << c.ban;
    EXPECT_EQ(network->ToString(), c.shown) << c.ban;
    BanList bans;
    bans.Set({network->ToString()}, {});
    EXPECT_EQ(bans.AddressBanned(asio::ip::make_address(c.client)), c.banned) << c.ban << " " << c.client;
  }
  for (std::string bad : {"", "192.0.2.7/33", "192.0.2.7/", "192.0.2/24", "2001:db8::/129", "host.example",
                          "192.0.2.7/-1", "192.0.2.7/2x"})
    EXPECT_FALSE(ParseNetwork(bad)) << bad;
}

TEST(Bans, NamesAsAReaderSeesThem) {
  BanList bans;
  bans.Set({}, {U8(u8"アラシ"), "Spam"});
  EXPECT_TRUE(bans.NameBanned(U8(u8"ｱﾗｼ")));
  EXPECT_TRUE(bans.NameBanned(U8(u8"あらし")));
  EXPECT_TRUE(bans.NameBanned("SPAM"));
  EXPECT_FALSE(bans.NameBanned("spam2"));  // the whole name, not a part of it
  EXPECT_FALSE(bans.AddressBanned(asio::ip::make_address("127.0.0.1")));
}

// Sets TZ for the test's time, and back.
class ZoneScope {
 public:
  explicit ZoneScope(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ZoneScope() {
    if (old_)
      setenv("TZ", old_->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  std::optional<std::string> old_;
};

TEST(Periods, BeginAtLocalMidnightOfTheDayTheMondayAndTheFirst) {
  struct Case {
    const char* zone;
    std::int64_t now;
    std::int64_t today, week, month, next_midnight;
  } cases[] = {
      // Friday 2026-12-11 15:00 in Tokyo (UTC+9): the week began on Monday the 7th.
      {"Asia/Tokyo", 1'796'968'800, 1'796'914'800, 1'796'569'200, 1'796'050'800, 1'797'001'200},
      // Sunday 2026-12-13 23:59:59 in Tokyo still belongs to that week.
      {"Asia/Tokyo", 1'797'173'999, 1'797'087'600, 1'796'569'200, 1'796'050'800, 1'797'174'000},
      // Monday 2026-12-14 00:00 begins the next.
      {"Asia/Tokyo", 1'797'174'000, 1'797'174'000, 1'797'174'000, 1'796'050'800, 1'797'260'400},
      // Sunday 2026-03-29 in Berlin, the day summer time begins: midnight is still at +01:00,
      // the next one at +02:00, a day of 23 hours.
      {"Europe/Berlin", 1'774'778'400, 1'774'738'800, 1'774'220'400, 1'772'319'600, 1'774'821'600},
  };
  for (const Case& c : cases) {
    ZoneScope zone(c.zone);
    SCOPED_TRACE(std::string(c.zone) + " " + std::to_string(c.now));
    EXPECT_EQ(PeriodStart(Period::kToday, c.now), c.today);
    EXPECT_EQ(PeriodStart(Period::kWeek, c.now), c.week);
    EXPECT_EQ(PeriodStart(Period::kMonth, c.now), c.month);
    EXPECT_EQ(NextMidnight(c.now), c.next_midnight);
    EXPECT_LE(PeriodStart(Period::kAll, c.now), 0);
  }
  for (Period p : kPeriods) EXPECT_EQ(ParsePeriod(PeriodName(p)), p);
  EXPECT_FALSE(ParsePeriod("year"));
}

}  // namespace
}  // namespace server
