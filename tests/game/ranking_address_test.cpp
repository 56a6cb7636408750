// Where the game sends: the build's host, unless the player names another when starting the game
// (--ranking, or velkor.ini beside hisc.dat). Whatever is chosen, the dialog sends there, its
// browser button opens the page there and the game-over screen shows the home page there.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "game/screens.h"
#include "ranking/ranking_host.h"
#include "ranking/unit2.h"

namespace {

TEST(RankingAddress, IsTheConfiguredHostWithTheCgiPath) {
  EXPECT_EQ(ranking::RankingHost(), VELKOR_CONFIGURED_RANKING_HOST);
  EXPECT_EQ(ranking::RankingCgiURL(),
            std::string("http://") + VELKOR_CONFIGURED_RANKING_HOST + "/~tobrin/soft/velkor/ran/ranking.cgi");
}

TEST(RankingAddress, EveryAddressFollowsTheChosenHost) {
  ranking::UseRankingHost("club.example.org:8080");
  EXPECT_EQ(ranking::RankingHost(), "club.example.org:8080");
  EXPECT_EQ(ranking::RankingCgiURL(), "http://club.example.org:8080/~tobrin/soft/velkor/ran/ranking.cgi");
  EXPECT_EQ(game::MakerHomePage(), "http://club.example.org:8080/~tobrin/");
  EXPECT_EQ(ranking::BuiltInRankingHost(), VELKOR_CONFIGURED_RANKING_HOST);
  ranking::UseRankingHost(ranking::BuiltInRankingHost());
}

TEST(RankingAddress, TakesAHostOrAHostAndPortAndNothingElse) {
  struct Case {
    std::string text;
    std::string host;  // as used; empty: refused
    std::string why;   // part of the reason
  };
  const Case cases[] = {
      {"ranking.example.org", "ranking.example.org", ""},
      {"192.168.1.20:8080", "192.168.1.20:8080", ""},
      {"localhost:08080", "localhost:8080", ""},
      {"Club-Room_2.local:65535", "Club-Room_2.local:65535", ""},
      {"a:1", "a:1", ""},
      {std::string(253, 'a'), std::string(253, 'a'), ""},
      {"", "", "no host given"},
      {"ranking example.org", "", "no spaces or control characters"},
      {"a.test\t", "", "no spaces or control characters"},
      {std::string("a\0b", 3), "", "no spaces or control characters"},
      {"a.test\x7F", "", "no spaces or control characters"},
      {"http://a.test", "", "without a scheme"},
      {"a.test/~tobrin/", "", "no path"},
      {"a.test\\x", "", "no path"},
      {"player@a.test", "", "no user name or password"},
      {"player:secret@a.test:80", "", "no user name or password"},
      {"[::1]:8080", "", "IPv6 addresses are not supported"},
      {"2001:db8::1", "", "IPv6 addresses are not supported"},
      {"a.test:", "", "from 1 to 65535"},
      {"a.test:0", "", "from 1 to 65535"},
      {"a.test:65536", "", "from 1 to 65535"},
      {"a.test:99999999999999999999", "", "from 1 to 65535"},
      {"a.test:+80", "", "from 1 to 65535"},
      {"a.test:80x", "", "from 1 to 65535"},
      {":8080", "", "no host name before the port"},
      {std::string(254, 'a'), "", "longer than 253"},
      {"a..test", "", "no empty part"},
      {".a.test", "", "no empty part"},
      {"a.test.", "", "no empty part"},
      {"-a.test", "", "begins or ends with '-'"},
      {"a-.test", "", "begins or ends with '-'"},
      {"--xdg", "", "begins or ends with '-'"},
      {"ランキング.jp", "", "ASCII form (xn--...)"},
      {"a.test?x", "", "not '?'"},
      {"a.test#x", "", "not '#'"},
      {"a%2etest", "", "not '%'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string why;
    std::optional<std::string> host = ranking::CheckRankingHost(c.text, why);
    if (c.host.empty()) {
      EXPECT_FALSE(host);
      EXPECT_NE(why.find(c.why), std::string::npos) << why;
    } else {
      EXPECT_EQ(host, c.host);
    }
  }
}

}  // namespace
