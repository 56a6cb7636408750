// The submission dialog sending to the real ranking server, which it starts: the entry is stored
// and shows on the page the dialog opens.
#include <gtest/gtest.h>

#include "server/ranking_fixture.h"
#include "submit_dialog_fixture.h"

namespace {

using namespace submit_dialog_testing;

TEST_F(SubmitDialogTest, TheRankingServerStoresTheSendAndItsPageShowsIt) {
  StartGame(5611, "");
  ranking_test::RankingServer server;
  ranking::UseRankingHost("127.0.0.1:" + std::to_string(server.Port()));
  RunDialog([&](ranking::TForm2& d) {
    Send(d, "abc", "hi");
    WhenIdle([&](ranking::TForm2& d2) {
      driver.Click(*d2.Button3);
      driver.Click(*d2.Button2);
    });
  });
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].find(app::Sjis(u8"送信成功です！")), 0u);
  EXPECT_EQ(h.form->StoredCheckValue, 0);
  // The server writes its access line after the reply has gone out: wait for it.
  const std::string line = "\"GET " + kPath + "?command=entry&name=abc&score=1234&pass_s=5611&comment=hi* HTTP/1.0\" 200 ";
  EXPECT_NE(server.LogOnceItHas(line).find(line), std::string::npos) << server.Log();

  // The page the third button opened shows the entry.
  ASSERT_EQ(h.platform.OpenedUrls().size(), 1u);
  const std::string url = h.platform.OpenedUrls()[0];
  ASSERT_EQ(url, "http://" + ranking::RankingHost() + kPath);
  std::string page = ranking_test::Exchange(server.Port(), ranking_test::GameRequest(url.substr(url.find(kPath))));
  EXPECT_EQ(ranking_test::StatusOf(page), 200);
  EXPECT_NE(page.find("<td>abc</td><td class=\"n\">1234</td><td>hi</td>"), std::string::npos) << page;
}

}  // namespace
