// The game's own HTTP client sending the ranking request to the real server.
#include <gtest/gtest.h>

#include "app/application.h"
#include "app/sjis.h"
#include "game/hiscore.h"
#include "platform/headless/headless_platform.h"
#include "ranking/nmhttp.h"
#include "ranking_fixture.h"

namespace ranking_test {
namespace {

class GameClient : public ::testing::Test {
 protected:
  GameClient() {
    http.OnSuccess = [this](ranking::CmdType) { ++successes; };
    http.OnFailure = [this](ranking::CmdType) { ++failures; };
  }

  // The request URL as the dialog builds it: no encoding of anything.
  std::string EntryUrl(const std::string& name, int score, const std::string& comment) const {
    return "http://127.0.0.1:" + std::to_string(server.Port()) + kRankingPath + "?command=entry&name=" + name +
           "&score=" + std::to_string(score) + "&pass_s=" + std::to_string(game::CheckValueOf(score)) +
           "&comment=" + comment + "*";
  }

  RankingServer server;
  platform::HeadlessPlatform platform;
  app::TApplication application{platform};
  ranking::TNMHTTP http{nullptr};
  int successes = 0, failures = 0;
};

TEST_F(GameClient, ItsRankingRequestIsStoredAndShownOnThePage) {
  http.Get(EntryUrl("abc", 1234, "hi"));
  EXPECT_EQ(http.StatusCode, 200);
  EXPECT_EQ(successes, 1);
  EXPECT_EQ(failures, 0);
  EXPECT_NE(http.Body.find(app::Sjis(u8"登録しました")), std::string::npos);

  // A name with a space and "&" goes out raw and comes back whole.
  http.Get(EntryUrl(app::Sjis(u8"ア イ&ソ"), 98, app::Sjis(u8"表示=ok")));
  EXPECT_EQ(http.StatusCode, 200);
  EXPECT_EQ(successes, 2);

  // The page the dialog's browser button opens, fetched the same way.
  http.Get("http://127.0.0.1:" + std::to_string(server.Port()) + kRankingPath);
  EXPECT_EQ(http.StatusCode, 200);
  std::size_t first = http.Body.find("<td>abc</td><td class=\"n\">1234</td><td>hi</td>");
  std::size_t second = http.Body.find("<td>" + app::Sjis(u8"ア イ") + "&amp;" + app::Sjis(u8"ソ") +
                                      "</td><td class=\"n\">98</td><td>" + app::Sjis(u8"表示=ok") + "</td>");
  ASSERT_NE(first, std::string::npos) << http.Body;
  ASSERT_NE(second, std::string::npos) << http.Body;
  EXPECT_LT(first, second);
  EXPECT_NE(http.Header.find("Content-Type: text/html; charset=Shift_JIS\r\n"), std::string::npos);
}

TEST_F(GameClient, RefusalsReachItAsFailures) {
  // An edited score with the old Pass, then more than ten entries in a minute.
  std::string edited = EntryUrl("abc", 1234, "hi");
  edited.replace(edited.find("score=1234"), 10, "score=1235");
  http.Get(edited);
  EXPECT_EQ(http.StatusCode, 400);
  for (int i = 0; i < 11; ++i) http.Get(EntryUrl("p" + std::to_string(i), 500 + i, "c"));
  EXPECT_EQ(http.StatusCode, 429);
  EXPECT_EQ(successes, 10);
  EXPECT_EQ(failures, 2);
}

}  // namespace
}  // namespace ranking_test
