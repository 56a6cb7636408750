// The submission dialog on the headless backend, with servers of the tests' own.
#include <gtest/gtest.h>

#include "platform/sockets.h"
#include "submit_dialog_fixture.h"

namespace {

using namespace submit_dialog_testing;

TEST_F(SubmitDialogTest, OpensWithTheBestScoreAndTheStoredNameAndRefusesAMismatchedCheckValue) {
  for (int check : {5611, 5612}) {
    SCOPED_TRACE(check);
    StartGame(check, app::Sjis(u8"名無し"));
    ScriptServer server({Reply("HTTP/1.0 200 OK\r\n\r\n")});
    UseServer(server);
    bool timer_during_dialog = true;
    RunDialog([&](ranking::TForm2& d) {
      timer_during_dialog = h.form->DXTimer1->Enabled();
      platform::HeadlessWindow& w = *h.platform.FindWindow(d.Handle().Id());
      EXPECT_EQ(w.Title(), app::Sjis(u8"ハイスコア自動送信"));
      EXPECT_EQ(w.Placement().x, 577);
      EXPECT_EQ(w.Placement().y, 210);
      EXPECT_EQ(w.Placement().width, 309);
      EXPECT_EQ(w.Placement().height, 204);
      EXPECT_EQ(d.Label4->Caption(), "1234");
      EXPECT_EQ(d.Edit1->Text(), app::Sjis(u8"名無し"));
      EXPECT_EQ(h.form->SubmitScore, 1234);
      EXPECT_TRUE(d.Button3->Enabled());
      if (check == 5611) {
        EXPECT_EQ(d.Label1->Caption(), app::Sjis(u8"ハイスコアの送信準備OKです。\rインターネットの接続をして下さい。"));
        EXPECT_TRUE(d.Button1->Enabled());
        EXPECT_EQ(d.ActiveControl(), d.Button1);
      } else {
        EXPECT_EQ(d.Label1->Caption(), Refusal());
        EXPECT_FALSE(d.Button1->Enabled());
        EXPECT_EQ(d.ActiveControl(), d.Button2);  // the first enabled one in tab order
        // The edits still take text; the disabled button takes no click.
        d.Edit2->SetText("hi");
        driver.Click(*d.Button1);
      }
      driver.Click(*d.Button2);
    });
    EXPECT_FALSE(timer_during_dialog);
    EXPECT_TRUE(h.form->DXTimer1->Enabled());
    h.application->ProcessMessages();
    EXPECT_EQ(ranking::Form2, nullptr);  // released
    EXPECT_EQ(server.Connections(), 0);
    h.Stop();
    h.application = std::make_unique<app::TApplication>(h.platform);
  }
}

TEST_F(SubmitDialogTest, ValidationShowsOneMessageAndSendsNothing) {
  StartGame();
  ScriptServer server({Reply("HTTP/1.0 200 OK\r\n\r\n")});
  UseServer(server);
  struct Case {
    const char* name;
    const char* comment;
    std::u8string message;
  };
  const Case cases[] = {
      {"", "hi", u8"名前が記入されてません。"},
      {"abc", "", u8"コメントが記入されてません。"},
      {"", "", u8"コメントが記入されてません。"},
  };
  RunDialog([&](ranking::TForm2&) {
    for (const Case& c : cases) WhenIdle([&](ranking::TForm2& d) { Send(d, c.name, c.comment); });
    WhenIdle([&](ranking::TForm2& d) { driver.Click(*d.Button2); });
  });
  ASSERT_EQ(messages.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(messages[i], app::Sjis(cases[i].message)) << i;
  EXPECT_EQ(server.Connections(), 0);
  EXPECT_EQ(h.form->StoredCheckValue, 5611);
}

TEST_F(SubmitDialogTest, ASuccessfulSendGoesOutExactlyAndCannotBeRepeated) {
  StartGame(5611, "");
  ScriptServer server({Reply("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html>ok</html>")});
  UseServer(server);
  bool button1_after = true;
  RunDialog([&](ranking::TForm2& d) {
    Send(d, "abc", "hi");
    WhenIdle([&](ranking::TForm2& d2) {
      button1_after = d2.Button1->Enabled();
      driver.Key(d2, VK_RETURN);  // the focus moved to the close button
    });
  });
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0], "GET " + kPath + "?command=entry&name=abc&score=1234&pass_s=5611&comment=hi* HTTP/1.0\r\n"
                                  "Host: 127.0.0.1\r\n" + kFixedLines);
  const std::string url = "http://" + ranking::RankingHost() + kPath;
  EXPECT_EQ(ranking::RankingURL, url);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], app::Sjis(u8"送信成功です！\rハイスコア申請ありがとうございました。\rランキングの確認は\r") + url +
                             "\r" + app::Sjis(u8"にアクセスして下さい。"));
  EXPECT_FALSE(button1_after);
  EXPECT_EQ(h.form->StoredCheckValue, 0);
  EXPECT_EQ(h.form->PlayerName, "abc");

  // Opened again without a new best score: refused.
  h.application->ProcessMessages();
  RunDialog([&](ranking::TForm2& d) {
    EXPECT_EQ(d.Label1->Caption(), Refusal());
    EXPECT_FALSE(d.Button1->Enabled());
    EXPECT_EQ(d.Edit1->Text(), "abc");
    driver.CloseBox(d);
  });
  EXPECT_EQ(server.Connections(), 1);

  // The table is saved with check value 0 and the name.
  h.Stop();
  const std::string saved = testing_support::ReadFile("hisc.dat");
  EXPECT_EQ(saved.substr(saved.size() - 10), "\r\n0\r\nabc\r\n");
}

TEST_F(SubmitDialogTest, NameAndCommentGoOutAsTypedInCp932) {
  StartGame();
  ScriptServer server({Reply("HTTP/1.0 200 OK\r\n\r\n")});
  UseServer(server);
  RunDialog([&](ranking::TForm2& d) {
    d.Edit1->SetText("");
    d.Edit2->SetText("");
    driver.Click(*d.Edit1);
    driver.Type(d, "a b&ソ");  // ソ ends in a backslash byte
    driver.Click(*d.Edit2);
    driver.Type(d, "x=y?ｺﾒﾝﾄ 日本");
    driver.Click(*d.Button1);
    WhenIdle([&](ranking::TForm2& d2) { driver.Click(*d2.Button2); });
  });
  ASSERT_EQ(server.Requests().size(), 1u);
  const std::string name = app::Sjis(u8"a b&ソ"), comment = app::Sjis(u8"x=y?ｺﾒﾝﾄ 日本");
  EXPECT_EQ(server.Requests()[0].substr(0, server.Requests()[0].find("\r\n")),
            "GET " + kPath + "?command=entry&name=" + name + "&score=1234&pass_s=5611&comment=" + comment + "* HTTP/1.0");
  EXPECT_EQ(h.form->PlayerName, name);
  h.Stop();
  const std::string saved = testing_support::ReadFile("hisc.dat");
  EXPECT_EQ(saved.substr(saved.size() - name.size() - 2), name + "\r\n");
}

TEST_F(SubmitDialogTest, AHandEditedNameGoesOutWithoutControlBytesAndCutToTenCharacters) {
  // A name line ends only at CR: LF, TAB and NUL stay in it, and nothing holds it to ten
  // characters. Twelve characters besides those three.
  using namespace std::string_literals;
  const std::string crafted = app::Sjis(u8"名") + "a\nb\tc\0"s + "defghijk";
  const std::string sent = app::Sjis(u8"名") + "abcdefghi";
  for (bool succeeds : {false, true}) {
    SCOPED_TRACE(succeeds);
    StartGame(5611, crafted);
    const std::string file = testing_support::ReadFile("hisc.dat");
    ScriptServer server({Reply(succeeds ? "HTTP/1.0 200 OK\r\n\r\n" : "HTTP/1.0 404 Not Found\r\n\r\n")});
    UseServer(server);
    RunDialog([&](ranking::TForm2& d) {
      EXPECT_EQ(d.Edit1->Text(), sent);
      d.Edit2->SetText("hi");
      driver.Click(*d.Button1);
      WhenIdle([&](ranking::TForm2& d2) { driver.Click(*d2.Button2); });
    });
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0], "GET " + kPath + "?command=entry&name=" + sent +
                                        "&score=1234&pass_s=5611&comment=hi* HTTP/1.0\r\nHost: 127.0.0.1\r\n" + kFixedLines);
    h.Stop();
    // Only a successful send changes the file: its check value and name.
    EXPECT_EQ(testing_support::ReadFile("hisc.dat"),
              succeeds ? file.substr(0, file.size() - crafted.size() - 8) + "0\r\n" + sent + "\r\n" : file);
    h.application = std::make_unique<app::TApplication>(h.platform);
    messages.clear();
  }
}

TEST_F(SubmitDialogTest, FailuresLeaveTheButtonForAnotherTry) {
  // A refused connection shows the one failure message; a 404 shows nothing; a server that
  // accepts and never answers runs into the time limit and shows the failure message.
  ScriptServer not_found({Reply("HTTP/1.0 404 Not Found\r\n\r\n")});
  ScriptServer silent({Silent()});
  StartGame();
  struct Case {
    const char* what;
    std::string host;
    bool time_passes;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"refused", "127.0.0.1:" + std::to_string(testing_support::UnusedPort()), false, {Failure()}},
      {"404", "127.0.0.1:" + std::to_string(not_found.Port()), false, {}},
      {"silent", "127.0.0.1:" + std::to_string(silent.Port()), true, {Failure()}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    messages.clear();
    ranking::UseRankingHost(c.host);
    bool enabled_after = false;
    RunDialog([&](ranking::TForm2& d) {
      Send(d, "abc", "hi");
      if (c.time_passes) {
        driver.Then([&] {
          if (silent.Connections() == 0) return false;
          h.platform.AdvanceMilliseconds(15000);  // the client's time limit
          return true;
        });
      }
      WhenIdle([&](ranking::TForm2& d2) {
        enabled_after = d2.Button1->Enabled();
        driver.Click(*d2.Button2);
      });
    });
    EXPECT_EQ(messages, c.messages);
    EXPECT_TRUE(enabled_after);
    EXPECT_EQ(h.form->StoredCheckValue, 5611);
    h.application->ProcessMessages();
  }
  EXPECT_EQ(not_found.Connections(), 1);
}

TEST_F(SubmitDialogTest, AServerThatAcceptsAndClosesFailsAtOnceUnderABusyUserInterface) {
  // The user interface is busy until the server's close has reached the socket, so the connect
  // notice and the close notice are handled in the same pass of the message loop.
  ScriptServer server({[](ServerConnection&) {}});
  StartGame();
  UseServer(server);
  bool timed_out = true;
  std::uint32_t waited_ms = 0;
  RunDialog([&](ranking::TForm2& d) {
    Send(d, "abc", "hi");
    driver.Then([&] {
      if (!d.Sending()) return false;
      std::vector<platform::sockets::PollItem> socket(1);
      socket[0].socket = d.NMHTTP1->SocketHandle();
      socket[0].want_read = true;
      EXPECT_TRUE(platform::sockets::Poll(socket, 10000) && socket[0].hangup) << "the server's close never came";
      waited_ms = h.platform.Milliseconds();
      return true;
    });
    WhenIdle([&](ranking::TForm2& d2) {
      timed_out = d2.NMHTTP1->TimedOut();
      waited_ms = h.platform.Milliseconds() - waited_ms;
      driver.Click(*d2.Button2);
    });
  });
  EXPECT_EQ(messages, std::vector<std::string>{Failure()});
  EXPECT_FALSE(timed_out);
  EXPECT_LT(waited_ms, 15000u);
  EXPECT_EQ(server.Connections(), 1);
  EXPECT_EQ(h.form->StoredCheckValue, 5611);
}

TEST_F(SubmitDialogTest, ClosingWhileASendWaitsCancelsItQuietly) {
  // The close button and the close box, each while the server has the request and says nothing;
  // a second click of the send button meanwhile is ignored.
  ScriptServer server({Silent()});
  StartGame();
  UseServer(server);
  for (bool close_box : {false, true}) {
    SCOPED_TRACE(close_box);
    const int connections_before = server.Connections();
    RunDialog([&](ranking::TForm2& d) {
      Send(d, "abc", "hi");
      driver.Then([&] {
        if (server.Connections() == connections_before || !d.Sending()) return false;
        driver.Click(*d.Button1);
        return true;
      });
      driver.Then([&] {
        if (close_box)
          driver.CloseBox(d);
        else
          driver.Click(*d.Button2);
        return true;
      });
    });
    EXPECT_EQ(messages, std::vector<std::string>{});
    EXPECT_EQ(server.Connections(), connections_before + 1);
    EXPECT_EQ(h.form->StoredCheckValue, 5611);
    EXPECT_TRUE(h.form->DXTimer1->Enabled());
    h.application->ProcessMessages();
    EXPECT_EQ(ranking::Form2, nullptr);
  }
}

TEST_F(SubmitDialogTest, TheThirdButtonOpensTheRankingPageInTheBrowser) {
  StartGame();
  ranking::UseRankingHost("ranking.test:8080");
  RunDialog([&](ranking::TForm2& d) {
    driver.Click(*d.Button3);
    WhenIdle([&](ranking::TForm2& d2) { driver.CloseBox(d2); });
  });
  EXPECT_EQ(h.platform.OpenedUrls(), std::vector<std::string>{"http://ranking.test:8080" + kPath});
}

TEST_F(SubmitDialogTest, F9OpensItOnlyOnTheTitleAndFromFullScreenGoesBackToTheWindowFirst) {
  StartGame();
  int opened = 0;
  auto count_openings = [&] {
    driver.Then([&] {
      if (!ranking::Form2 || h.application->ModalForm() != ranking::Form2) return false;
      ++opened;
      EXPECT_FALSE(h.form->DXDraw1->Options() & media::Opt(media::doFullScreen));
      driver.CloseBox(*ranking::Form2);
      return true;
    });
  };
  // Elsewhere than the title: nothing.
  h.form->GameState = game::gsRanking;
  h.KeyDown(VK_F9, true);
  h.KeyDown(VK_F9);
  EXPECT_EQ(ranking::Form2, nullptr);
  // On the title, with and without Alt; the main form gets no keys while it is open.
  h.form->GameState = game::gsTitle;
  for (bool alt : {true, false}) {
    count_openings();
    driver.Then([&] {
      driver.Key(*h.form, VK_SPACE);  // would start a game
      return true;
    });
    h.KeyDown(VK_F9, alt);
    h.application->ProcessMessages();
  }
  EXPECT_EQ(opened, 2);
  EXPECT_EQ(h.form->GameState, game::gsTitle);
  // In full screen, F9 alone as well as Alt+F9 first returns to the window.
  for (bool alt : {true, false}) {
    h.KeyDown(VK_F8, true);
    ASSERT_TRUE(h.form->DXDraw1->Options() & media::Opt(media::doFullScreen));
    count_openings();
    h.KeyDown(VK_F9, alt);
    h.application->ProcessMessages();
  }
  EXPECT_EQ(opened, 4);
  EXPECT_TRUE(driver.Done());
}

}  // namespace
