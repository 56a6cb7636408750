// The ranking page as a real browser renders it.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <regex>

#include "app/sjis.h"
#include "game/hiscore.h"
#include "ranking_fixture.h"

namespace ranking_test {
namespace {

std::string U8(std::u8string_view text) { return {reinterpret_cast<const char*>(text.data()), text.size()}; }

TEST(RankingPage, ChromiumShowsTheJapaneseNamesBestFirstAndTiesOlderFirst) {
  const char* chromium = "/usr/bin/chromium";
  ASSERT_TRUE(std::filesystem::exists(chromium)) << "chromium is missing; scripts/install-deps.sh test installs it";
  RankingServer server;
  struct Sent {
    std::u8string name;
    int score;
  } sent[] = {{u8"山田", 500}, {u8"ｶﾀｶﾅ", 900}, {u8"佐藤&<b>", 500}, {u8"ー表示ソ", 20}};
  for (const Sent& s : sent) {
    std::string score = std::to_string(s.score);
    std::string reply = Exchange(server.Port(), EntryRequest(app::Sjis(s.name), score,
                                                             std::to_string(game::CheckValueOf(s.score)),
                                                             app::Sjis(u8"よろしく")));
    ASSERT_EQ(StatusOf(reply), 200) << reply;
  }

  std::random_device rd;
  auto profile = std::filesystem::temp_directory_path() / ("velkor-chromium-" + std::to_string(rd()));
  std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + kRankingPath;
  // Only the page goes to the output; the browser's own complaints go nowhere.
  int status = -1;
  std::string dom = RunToEnd({"sh", "-c", "exec \"$0\" \"$@\" 2>/dev/null", chromium, "--headless", "--no-sandbox",
                              "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
                              "--disable-component-update", "--disable-sync", "--user-data-dir=" + profile.string(),
                              "--dump-dom", url},
                             status, std::chrono::seconds(120));
  EXPECT_EQ(status, 0);
  std::error_code ec;
  std::filesystem::remove_all(profile, ec);

  // The browser decoded the Shift_JIS page; its DOM comes out as UTF-8.
  EXPECT_NE(dom.find(U8(u8"<title>Velkor インターネットランキング</title>")), std::string::npos) << dom;
  std::regex row(R"(<tr><td class="n">([0-9]+)</td><td>([^<]*)</td><td class="n">([0-9]+)</td><td>([^<]*)</td>)");
  std::vector<std::string> shown;
  for (auto it = std::sregex_iterator(dom.begin(), dom.end(), row); it != std::sregex_iterator(); ++it) {
    EXPECT_EQ((*it)[1], std::to_string(shown.size() + 1));
    EXPECT_EQ((*it)[4], U8(u8"よろしく"));
    shown.push_back((*it)[2]);
  }
  EXPECT_EQ(shown, (std::vector<std::string>{U8(u8"ｶﾀｶﾅ"), U8(u8"山田"), U8(u8"佐藤&amp;&lt;b&gt;"), U8(u8"ー表示ソ")}))
      << dom;
  EXPECT_EQ(dom.find("<b>"), std::string::npos);
}

}  // namespace
}  // namespace ranking_test
