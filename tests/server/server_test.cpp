// The real server program over real sockets on 127.0.0.1.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <regex>

#include "app/sjis.h"
#include "game/hiscore.h"
#include "game/options.h"
#include "game/screens.h"
#include "platform/codec.h"
#include "ranking/ranking_host.h"
#include "ranking/unit2.h"
#include "ranking_fixture.h"

namespace ranking_test {
namespace {

std::string Pass(int score) { return std::to_string(game::CheckValueOf(score)); }
std::string U8(std::u8string_view text) { return {reinterpret_cast<const char*>(text.data()), text.size()}; }

int CountOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(RankingServer, TheGamesEntryIsStoredAndShownOnBothPages) {
  RankingServer server;
  std::string reply = Exchange(server.Port(), EntryRequest("abc", "1234", "5611", "hi"));
  EXPECT_EQ(StatusOf(reply), 200) << reply;
  EXPECT_EQ(HeaderOf(reply, "Content-Type"), "text/html; charset=Shift_JIS");
  EXPECT_NE(BodyOf(reply).find(app::Sjis(u8"登録しました")), std::string::npos);

  // A CP932 name with a space and "&", a comment with "=" and "&", sent raw as the game does.
  reply = Exchange(server.Port(), EntryRequest(app::Sjis(u8"山田 &ﾀﾛｰ"), "98", Pass(98), app::Sjis(u8"a=b&c 表示")));
  EXPECT_EQ(StatusOf(reply), 200) << reply;

  std::string json = RankingJson(server.Port());
  EXPECT_NE(json.find(R"({"place":1,"name":"abc","score":1234,"comment":"hi",)"), std::string::npos) << json;
  EXPECT_NE(json.find(U8(u8R"({"place":2,"name":"山田 \u0026ﾀﾛｰ","score":98,"comment":"a=b\u0026c 表示",)")),
            std::string::npos)
      << json;

  std::string page = Exchange(server.Port(), GameRequest(kRankingPath));
  EXPECT_EQ(StatusOf(page), 200);
  EXPECT_EQ(HeaderOf(page, "Content-Type"), "text/html; charset=Shift_JIS");
  std::string body = BodyOf(page);
  EXPECT_NE(body.find("<meta charset=\"Shift_JIS\">"), std::string::npos);
  std::size_t first = body.find("<td>abc</td><td class=\"n\">1234</td><td>hi</td>");
  std::size_t second = body.find("<td>" + app::Sjis(u8"山田 ") + "&amp;" + app::Sjis(u8"ﾀﾛｰ") + "</td>");
  ASSERT_NE(first, std::string::npos) << body;
  ASSERT_NE(second, std::string::npos) << body;
  EXPECT_LT(first, second);
  EXPECT_EQ(HeaderOf(Exchange(server.Port(), GameRequest(std::string(kRankingPath) + "?format=json")), "Content-Type"),
            "application/json; charset=utf-8");
}

// The game shows the maker's home page on the game-over screen and opens the ranking page from
// its dialog, both on the ranking host: each answers with a Shift_JIS page, and the home page (at
// the server's root too) leads to the ranking.
TEST(RankingServer, EveryAddressTheGameShowsOrOpensAnswersAndTheHomePageLeadsToTheRanking) {
  RankingServer server;
  ASSERT_EQ(StatusOf(Exchange(server.Port(), EntryRequest("abc", "1234", "5611", "hi"))), 200);
  const std::string origin = "http://127.0.0.1:" + std::to_string(server.Port());
  ranking::UseRankingHost(origin.substr(7));
  const std::string addresses[] = {game::MakerHomePage(), ranking::RankingCgiURL(), origin + "/"};
  ranking::UseRankingHost(ranking::BuiltInRankingHost());
  // A page's link, taken as a browser takes it from the page's own path.
  auto resolve = [](const std::string& path, const std::string& href) {
    if (href.starts_with("/")) return href;
    return path.substr(0, path.rfind('/') + 1) + href;
  };
  for (const std::string& address : addresses) {
    SCOPED_TRACE(address);
    ASSERT_TRUE(address.starts_with(origin + "/"));
    const std::string path = address.substr(origin.size());
    std::string reply = Exchange(server.Port(), GameRequest(path));
    ASSERT_EQ(StatusOf(reply), 200) << reply;
    EXPECT_EQ(HeaderOf(reply, "Content-Type"), "text/html; charset=Shift_JIS");
    std::string body = BodyOf(reply);
    EXPECT_NE(body.find("<meta charset=\"Shift_JIS\">"), std::string::npos) << body;
    EXPECT_TRUE(platform::Cp932ToUtf8Checked(body)) << body;
    if (path == kRankingPath) continue;
    std::smatch link;
    ASSERT_TRUE(std::regex_search(body, link, std::regex("<a href=\"([^\"]*)\">([^<]*)</a>"))) << body;
    EXPECT_NE(link[2].str().find(app::Sjis(u8"ランキング")), std::string::npos) << body;
    const std::string page = Exchange(server.Port(), GameRequest(resolve(path, link[1])));
    EXPECT_EQ(StatusOf(page), 200);
    EXPECT_NE(BodyOf(page).find("<td>abc</td><td class=\"n\">1234</td><td>hi</td>"), std::string::npos) << page;
  }
}

TEST(RankingServer, EveryRefusalHasItsStatusAndNothingIsStored) {
  RankingServer server;
  const std::string p = kRankingPath;
  struct Case {
    std::string what, request;
    int status;
  } cases[] = {
      {"bad check value", EntryRequest("abc", "1234", "5612", "hi"), 400},
      {"empty name", EntryRequest("", "1234", "5611", "hi"), 400},
      {"long name", EntryRequest("abcdefghijk", "1234", "5611", "hi"), 400},
      {"empty comment", EntryRequest("abc", "1234", "5611", ""), 400},
      {"long comment", EntryRequest("abc", "1234", "5611", std::string(41, 'x')), 400},
      {"control character", EntryRequest("a\tc", "1234", "5611", "hi"), 400},
      {"bad CP932", EntryRequest("a\x85\x40", "1234", "5611", "hi"), 400},
      {"score out of range", EntryRequest("abc", "1000001", Pass(1000001), "hi"), 400},
      {"no closing star", GameRequest(p + "?command=entry&name=abc&score=1234&pass_s=5611&comment=hi"), 400},
      {"wrong path", GameRequest("/cgi-bin/ranking.cgi?command=entry&name=abc&score=1234&pass_s=5611&comment=hi*"),
       404},
      {"not GET", "POST " + p + " HTTP/1.0\r\nContent-Length: 0\r\n\r\n", 405},
      {"body on GET", "GET " + p + " HTTP/1.1\r\nContent-Length: 4\r\n\r\nabcd", 400},
      {"no version", "GET " + p + "\r\n\r\n", 400},
      {"oversized head", "GET " + p + " HTTP/1.0\r\nX-Pad: " + std::string(9000, 'a') + "\r\n\r\n", 431},
  };
  for (const Case& c : cases) {
    std::string reply = Exchange(server.Port(), c.request);
    EXPECT_EQ(StatusOf(reply), c.status) << c.what << "\n" << reply;
    EXPECT_EQ(HeaderOf(reply, "Connection"), "close") << c.what;
    EXPECT_EQ(HeaderOf(reply, "Content-Length"), std::to_string(BodyOf(reply).size())) << c.what;
  }
  std::string reply = Exchange(server.Port(), EntryRequest("abc", "1234", "5612", "hi"));
  EXPECT_NE(BodyOf(reply).find(app::Sjis(u8"チェック値が一致しません")), std::string::npos);
  EXPECT_EQ(HeaderOf(Exchange(server.Port(), "PUT " + p + " HTTP/1.0\r\n\r\n"), "Allow"), "GET, HEAD");
  EXPECT_EQ(RankingJson(server.Port()), "{\"entries\":[\n],\"period\":\"all\"}\n");
}

TEST(RankingServer, ScriptInANameIsShownAsText) {
  RankingServer server;
  ASSERT_EQ(StatusOf(Exchange(server.Port(), EntryRequest("<script>", "60", Pass(60), "</td><b>x"))), 200);
  std::string body = BodyOf(Exchange(server.Port(), GameRequest(kRankingPath)));
  EXPECT_EQ(body.find("<script>"), std::string::npos);
  EXPECT_EQ(body.find("<b>"), std::string::npos);
  EXPECT_NE(body.find("<td>&lt;script&gt;</td>"), std::string::npos) << body;
  EXPECT_NE(body.find("<td>&lt;/td&gt;&lt;b&gt;x</td>"), std::string::npos) << body;
}

TEST(RankingServer, TheSameEntryAgainIsAcknowledgedWithoutASecondRow) {
  RankingServer server;
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(StatusOf(Exchange(server.Port(), EntryRequest("abc", "1234", "5611", "hi"))), 200);
  EXPECT_EQ(StatusOf(Exchange(server.Port(), EntryRequest("abc", "1234", "5611", "hi2"))), 200);
  std::string json = RankingJson(server.Port());
  EXPECT_EQ(CountOf(json, "\"name\":\"abc\""), 2) << json;
  server.LogOnceItHas(" duplicate ", 2);
}

TEST(RankingServer, TenEntriesAMinuteFromEachAddress) {
  RankingServer server;
  for (int i = 0; i < 10; ++i)
    EXPECT_EQ(StatusOf(Exchange(server.Port(), EntryRequest("n" + std::to_string(i), "7", Pass(7), "c"), "127.0.0.2")),
              200);
  std::string refused = Exchange(server.Port(), EntryRequest("n10", "7", Pass(7), "c"), "127.0.0.2");
  EXPECT_EQ(StatusOf(refused), 429);
  int retry = std::atoi(HeaderOf(refused, "Retry-After").c_str());
  EXPECT_GE(retry, 50);
  EXPECT_LE(retry, 60);
  // Another address is not held back, and the page still answers the limited one.
  EXPECT_EQ(StatusOf(Exchange(server.Port(), EntryRequest("m", "7", Pass(7), "c"), "127.0.0.3")), 200);
  EXPECT_EQ(StatusOf(Exchange(server.Port(), GameRequest(kRankingPath), "127.0.0.2")), 200);
  EXPECT_EQ(CountOf(RankingJson(server.Port()), "\"score\":7"), 11);
}

TEST(RankingServer, BehindATrustedHttpProxyTheForwardedAddressCounts) {
  RankingServer server({"--trusted-http-proxy", "127.0.0.1"});
  auto via = [](const std::string& forwarded, const std::string& name) {
    std::string request = EntryRequest(name, "7", Pass(7), "c");
    return request.insert(request.size() - 2, "X-Forwarded-For: 198.51.100.9, " + forwarded + "\r\n");
  };
  for (int i = 0; i < 10; ++i)
    EXPECT_EQ(StatusOf(Exchange(server.Port(), via("203.0.113.1", "a" + std::to_string(i)))), 200);
  EXPECT_EQ(StatusOf(Exchange(server.Port(), via("203.0.113.1", "a10"))), 429);
  EXPECT_EQ(StatusOf(Exchange(server.Port(), via("203.0.113.2", "b"))), 200);
  // From anywhere else the header is the client's own word and is ignored.
  for (int i = 0; i < 10; ++i)
    EXPECT_EQ(StatusOf(Exchange(server.Port(), via("203.0.113." + std::to_string(10 + i), "c" + std::to_string(i)),
                                "127.0.0.5")),
              200);
  EXPECT_EQ(StatusOf(Exchange(server.Port(), via("203.0.113.99", "c10"), "127.0.0.5")), 429);
  server.LogOnceItHas("\n203.0.113.2 - - [");
}

TEST(RankingServer, BehindATrustedTcpProxyItsProxyLineCounts) {
  RankingServer server({"--trusted-proxy", "127.0.0.1"});
  auto via = [](const std::string& source, const std::string& name) {
    std::string request = EntryRequest(name, "7", Pass(7), "c");
    // Behind a TCP proxy this header is the client's own, and is ignored.
    request.insert(request.size() - 2, "X-Forwarded-For: 192.0.2." + std::to_string(name.size()) + "\r\n");
    return "PROXY TCP4 " + source + " 127.0.0.1 40000 80\r\n" + request;
  };
  for (int i = 0; i < 10; ++i)
    EXPECT_EQ(StatusOf(Exchange(server.Port(), via("198.51.100.20", "a" + std::string(i, 'x')))), 200) << i;
  EXPECT_EQ(StatusOf(Exchange(server.Port(), via("198.51.100.20", "b"))), 429);
  EXPECT_EQ(StatusOf(Exchange(server.Port(), via("198.51.100.21", "b"))), 200);
  EXPECT_EQ(StatusOf(Exchange(server.Port(), "PROXY UNKNOWN\r\n" + GameRequest(kRankingPath))), 200);
  const std::vector<std::string> bad_lines{"PROXY TCP4 not-an-address 127.0.0.1 1 80",
                                           "PROXY TCP4 2001:db8::1 127.0.0.1 1 80",
                                           "PROXY TCP6 198.51.100.23 ::1 1 80",
                                           "PROXY TCP4 198.51.100.23 127.0.0.1 http 80",
                                           "PROXY TCP4 198.51.100.23 127.0.0.1 1 65536",
                                           "PROXY TCP4 " + std::string(200, '1')};
  for (const std::string& bad : bad_lines) {
    std::string reply = Exchange(server.Port(), bad + "\r\n" + GameRequest(kRankingPath));
    EXPECT_EQ(StatusOf(reply), 400) << bad;
    EXPECT_EQ(CountOf(reply, "HTTP/1."), 1) << bad;
  }
  // Only the proxy may say where a connection comes from.
  EXPECT_EQ(StatusOf(Exchange(server.Port(), via("198.51.100.22", "c"), "127.0.0.5")), 400);
  std::string log = server.LogOnceItHas("\n198.51.100.20 - - [", 11);
  EXPECT_EQ(log.find("192.0.2."), std::string::npos);
  EXPECT_EQ(log.find("\n198.51.100.23 - - ["), std::string::npos);
}

// With nginx's stream proxy on the same host, any local process connects from the proxy's
// address: without a PROXY line it is taken at that address, whatever header it sends.
TEST(RankingServer, FromTheTrustedTcpProxyWithoutAProxyLineTheForwardedHeaderIsNotBelieved) {
  RankingServer server({"--trusted-proxy", "127.0.0.1"});
  for (int i = 0; i < 11; ++i) {
    std::string request = EntryRequest("s" + std::to_string(i), "7", Pass(7), "c");
    request.insert(request.size() - 2, "X-Forwarded-For: 203.0.113." + std::to_string(i) + "\r\n");
    EXPECT_EQ(StatusOf(Exchange(server.Port(), request)), i < 10 ? 200 : 429) << i;
  }
  std::string log = server.LogOnceItHas("\n127.0.0.1 - - [", 11);
  EXPECT_EQ(log.find("203.0.113."), std::string::npos) << log;
}

TEST(RankingServer, AClientThatTricklesItsHeadIsCutOffAtTheDeadline) {
  RankingServer server;
  RawConnection slow(server.Port());
  const std::string head = GameRequest(kRankingPath);
  auto start = std::chrono::steady_clock::now();
  std::string reply;
  for (std::size_t i = 0; i < head.size() && !slow.closed(); ++i) {
    slow.Send(head.substr(i, 1));
    reply += slow.Receive(std::chrono::seconds(1));
  }
  while (!slow.closed() && std::chrono::steady_clock::now() - start < std::chrono::seconds(20))
    reply += slow.Receive(std::chrono::seconds(1));
  double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_TRUE(slow.closed());
  EXPECT_EQ(StatusOf(reply), 408) << reply;
  EXPECT_GE(took, 9.5);
  EXPECT_LE(took, 13.0);
}

TEST(RankingServer, KeepsAliveAndAnswersPipelinedRequestsInOrder) {
  RankingServer server;
  RawConnection c(server.Port());
  const std::string p = kRankingPath;
  c.Send("GET " + p + "?format=json HTTP/1.1\r\nHost: a\r\n\r\nGET /nothing HTTP/1.1\r\nHost: a\r\n\r\n\r\n" +
         "GET " + p + " HTTP/1.1\r\nConnection: close\r\n\r\n");
  std::string replies;
  while (!c.closed()) replies += c.Receive(std::chrono::seconds(5));
  std::regex status("HTTP/1\\.1 ([0-9]+) ");
  std::vector<std::string> codes;
  for (auto it = std::sregex_iterator(replies.begin(), replies.end(), status); it != std::sregex_iterator(); ++it)
    codes.push_back((*it)[1]);
  EXPECT_EQ(codes, (std::vector<std::string>{"200", "404", "200"}));
  EXPECT_EQ(CountOf(replies, "Connection: keep-alive"), 2);
}

TEST(RankingServer, ConnectionsOverTheCapAreTurnedAwayWithAReply) {
  RankingServer server({"--max-connections", "2"});
  {
    // Two clients that have not sent their request yet: neither is idle between requests, so
    // neither is closed to make room. The server takes connections in the order they came.
    RawConnection a(server.Port()), b(server.Port());
    EXPECT_EQ(StatusOf(Exchange(server.Port(), EntryRequest("abc", "1234", "5611", "hi"))), 503);
  }
  // Once they are gone there is room again.
  int status = 0;
  for (int i = 0; i < 100 && status != 200; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    status = StatusOf(Exchange(server.Port(), EntryRequest("abc", "1234", "5611", "hi")));
  }
  EXPECT_EQ(status, 200);
}

TEST(RankingServer, WritesOneAccessLogLinePerRequestWithRawBytesEscaped) {
  RankingServer server;
  Exchange(server.Port(), EntryRequest(app::Sjis(u8"あ\"x"), "1234", "5611", "hi"));
  Exchange(server.Port(), GameRequest(kRankingPath));
  Exchange(server.Port(), GameRequest("/missing\x1b[2J"));
  Exchange(server.Port(), "GET " + std::string(kRankingPath) + " HTTP/1.0\r\nX: " + std::string(9000, 'a'));
  ASSERT_EQ(server.Stop(), 0);
  std::string log = server.Log();
  std::regex line(R"(\n127\.0\.0\.1 - - \[[0-9]{2}/[A-Z][a-z]{2}/[0-9]{4}:[0-9:]{8} \+0000\] "[^"\n]*" [0-9]{3} [0-9]+ [a-z0-9-]+ [0-9.]+ms)");
  EXPECT_EQ(std::distance(std::sregex_iterator(log.begin(), log.end(), line), std::sregex_iterator()), 4) << log;
  EXPECT_NE(log.find("name=\\x82\\xA0\\x22x&score=1234"), std::string::npos) << log;
  EXPECT_NE(log.find("\"GET /missing\\x1B[2J HTTP/1.0\" 404 "), std::string::npos) << log;
  EXPECT_NE(log.find(" 200 "), std::string::npos);
  EXPECT_NE(log.find(" 431 "), std::string::npos);
  EXPECT_EQ(log.find('\x1b'), std::string::npos);
}

TEST(RankingServer, EveryAcknowledgedEntrySurvivesAKillRightAfterTheLastReply) {
  RankingServer server;
  constexpr int kClients = 10, kEach = 10;
  std::vector<std::vector<std::string>> acknowledged(kClients);
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      for (int i = 0; i < kEach; ++i) {
        std::string name = "p" + std::to_string(c) + "-" + std::to_string(i);
        int score = 1000 + c * kEach + i;
        std::string reply = Exchange(server.Port(), EntryRequest(name, std::to_string(score), Pass(score), "burst"),
                                     "127.0.1." + std::to_string(c + 1));
        if (StatusOf(reply) == 200) acknowledged[c].push_back(name);
      }
    });
  }
  for (std::thread& t : clients) t.join();
  server.Kill();

  server.Restart();
  std::string json = RankingJson(server.Port());
  int total = 0;
  for (const auto& names : acknowledged) {
    EXPECT_EQ(names.size(), std::size_t(kEach));
    for (const std::string& name : names) {
      EXPECT_NE(json.find("\"name\":\"" + name + "\""), std::string::npos) << name;
      ++total;
    }
  }
  EXPECT_EQ(total, kClients * kEach);
  EXPECT_EQ(CountOf(json, "\"comment\":\"burst\""), total);
}

TEST(RankingServer, AnEntryDeletedWithTheSqliteToolLeavesThePage) {
  RankingServer server;
  ASSERT_EQ(StatusOf(Exchange(server.Port(), EntryRequest("spam", "1234", "5611", "hi"))), 200);
  ASSERT_EQ(StatusOf(Exchange(server.Port(), EntryRequest("abc", "60", Pass(60), "hi"))), 200);
  sqlite3* moderator = nullptr;
  ASSERT_EQ(sqlite3_open(server.Db().c_str(), &moderator), SQLITE_OK);
  sqlite3_busy_timeout(moderator, 5000);
  ASSERT_EQ(sqlite3_exec(moderator, "DELETE FROM entries WHERE name = 'spam'", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(moderator);
  std::string json;
  for (int i = 0; i < 100; ++i) {
    json = RankingJson(server.Port());
    if (json.find("spam") == std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_EQ(json.find("spam"), std::string::npos) << json;
  EXPECT_NE(json.find("\"place\":1,\"name\":\"abc\""), std::string::npos) << json;
}

TEST(RankingServer, HeadIsAnsweredWithTheHeadersOfAGetAndNoBody) {
  RankingServer server;
  ASSERT_EQ(StatusOf(Exchange(server.Port(), EntryRequest("abc", "1234", "5611", "hi"))), 200);
  const std::string p = kRankingPath;
  struct Case {
    std::string target;
    int status;
  } cases[] = {{p, 200}, {p + "?format=json", 200}, {"/~tobrin/", 200}, {"/", 200}, {"/nothing", 404},
               {p + "?command=entry&name=new&score=60&pass_s=" + Pass(60) + "&comment=hi*", 405}};
  for (const Case& c : cases) {
    // What a GET gets (for the entry: what any refusal gets, as a GET would store it).
    std::string get = Exchange(server.Port(), "GET " + (c.status == 405 ? "/nothing" : c.target) + " HTTP/1.0\r\n\r\n");
    // On one connection: whatever followed the HEAD's head would be read as the next reply.
    RawConnection conn(server.Port());
    conn.Send("HEAD " + c.target + " HTTP/1.1\r\nHost: a\r\n\r\nGET /next HTTP/1.1\r\nConnection: close\r\n\r\n");
    std::string replies;
    while (!conn.closed()) replies += conn.Receive(std::chrono::seconds(5));
    std::size_t head_end = replies.find("\r\n\r\n");
    ASSERT_NE(head_end, std::string::npos) << c.target << "\n" << replies;
    std::string head = replies.substr(0, head_end + 4);
    EXPECT_EQ(StatusOf(head), c.status) << c.target;
    EXPECT_EQ(HeaderOf(head, "Content-Type"), HeaderOf(get, "Content-Type")) << c.target;
    if (c.status == 405) {
      EXPECT_EQ(HeaderOf(head, "Allow"), "GET");
    } else {
      EXPECT_EQ(HeaderOf(head, "Content-Length"), HeaderOf(get, "Content-Length")) << c.target;
    }
    EXPECT_EQ(StatusOf(replies.substr(head.size())), 404) << c.target << "\n" << replies;
  }
  // The HEAD of an entry stored nothing.
  EXPECT_EQ(RankingJson(server.Port()).find("\"name\":\"new\""), std::string::npos);
}

// A signal while an entry waits for the database (held by another writer here): the entry is
// still stored and answered, then the server ends with status 0.
TEST(RankingServer, EveryStoppingSignalStoresAndAnswersTheEntryUnderWay) {
  for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) {
    SCOPED_TRACE(strsignal(signal));
    RankingServer server;
    RawConnection idle(server.Port());
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(server.Db().c_str(), &other), SQLITE_OK);
    sqlite3_busy_timeout(other, 5000);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

    // The page first, on the same connection: once it is answered, the entry behind it has been
    // read and handed to the database.
    RawConnection c(server.Port());
    c.Send("GET " + std::string(kRankingPath) + " HTTP/1.1\r\nHost: a\r\n\r\n" + EntryRequest("abc", "1234", "5611", "hi"));
    std::string replies;
    auto page_done = [&] {
      std::size_t end = replies.find("\r\n\r\n");
      return end != std::string::npos &&
             replies.size() >= end + 4 + std::stoul(HeaderOf(replies, "Content-Length"));
    };
    while (!page_done() && !c.closed()) replies += c.Receive(std::chrono::seconds(5));
    ASSERT_TRUE(page_done()) << replies;
    std::string page_reply = replies.substr(0, replies.find("\r\n\r\n") + 4 + std::stoul(HeaderOf(replies, "Content-Length")));
    replies.erase(0, page_reply.size());

    server.Process().Signal(signal);
    testing_support::WaitUntil([&] { return server.Log().find(", stopping") != std::string::npos; },
                               std::chrono::seconds(10));
    ASSERT_NE(server.Log().find(", stopping"), std::string::npos) << server.Log();
    ASSERT_EQ(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);

    while (!c.closed()) replies += c.Receive(std::chrono::seconds(5));
    EXPECT_EQ(StatusOf(replies), 200) << replies;
    EXPECT_NE(BodyOf(replies).find(app::Sjis(u8"登録しました")), std::string::npos);
    EXPECT_EQ(server.Process().Wait(std::chrono::seconds(30)).value_or(-1), 0) << server.Log();
    EXPECT_NE(server.Log().find("velkor-ranking: stopped"), std::string::npos);
    idle.Receive(std::chrono::seconds(1));
    EXPECT_TRUE(idle.closed());
    server.Restart();
    EXPECT_EQ(CountOf(RankingJson(server.Port()), "\"name\":\"abc\""), 1);
  }
}

TEST(RankingServer, CommandLine) {
  int status = -1;
  std::string help = RunToEnd({VELKOR_RANKING_BINARY, "--help"}, status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(help.find("--listen ADDR:PORT"), std::string::npos);
  EXPECT_NE(help.find("--db FILE"), std::string::npos);
  EXPECT_NE(help.find("--web DIR"), std::string::npos);
  EXPECT_NE(help.find("--allow-origin ORIGIN"), std::string::npos);
  EXPECT_NE(help.find("--version"), std::string::npos);
  // The same version as the game's own --version, answered before the rest is read.
  const std::string game_version = game::VersionText().substr(game::VersionText().find(' ') + 1);
  for (std::vector<std::string> args : {std::vector<std::string>{"--version"}, {"--version", "--frobnicate"},
                                        {"--db", "x.db", "--version"}}) {
    args.insert(args.begin(), VELKOR_RANKING_BINARY);
    EXPECT_EQ(RunToEnd(args, status), "velkor-ranking " + game_version) << args[1];
    EXPECT_EQ(status, 0) << args[1];
  }
  for (std::vector<std::string> bad : {std::vector<std::string>{"--listen", "8080"}, {"--listen", "[::1]:99999"},
                                       {"--db"}, {"--frobnicate"}}) {
    bad.insert(bad.begin(), VELKOR_RANKING_BINARY);
    std::string output = RunToEnd(bad, status);
    EXPECT_EQ(status, 2) << bad[1];
    EXPECT_NE(output.find("Usage:"), std::string::npos);
  }
}

}  // namespace
}  // namespace ranking_test
