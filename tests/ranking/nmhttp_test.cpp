#include "ranking/nmhttp.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "app/sjis.h"
#include "net_fixture.h"
#include "support/harness.h"

namespace {

using namespace net_testing;
using ranking::CmdType;
using ranking::TNMHTTP;
using testing_support::Reply;
using testing_support::ScriptServer;
using testing_support::ServerConnection;

const std::string kRankingPath = "/~tobrin/soft/velkor/ran/ranking.cgi";

const std::string kFixedLines =
    "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n"
    "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n"
    "Content-type: application/x-www-form-urlencoded\r\n"
    "\r\n";

// Counts the client's events.
struct Outcome {
  int success = 0, failure = 0, redirects = 0;
  std::vector<CmdType> commands;
};

class HttpTest : public NetTest {
 protected:
  HttpTest() {
    http.OnSuccess = [this](CmdType cmd) {
      ++outcome.success;
      outcome.commands.push_back(cmd);
    };
    http.OnFailure = [this](CmdType cmd) {
      ++outcome.failure;
      outcome.commands.push_back(cmd);
    };
    http.OnRedirect = [this](bool&) { ++outcome.redirects; };
  }

  TNMHTTP http{nullptr};
  Outcome outcome;
};

// --- The request on the wire ---

TEST_F(HttpTest, RankingRequestGoesOutAsExactlySixLines) {
  ScriptServer server({Reply("HTTP/1.0 200 OK\r\n\r\n")});
  http.Get(Url(server.Port(), kRankingPath + "?command=entry&name=abc&score=1234&pass_s=5611&comment=hi*"));
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0],
            "GET " + kRankingPath + "?command=entry&name=abc&score=1234&pass_s=5611&comment=hi* HTTP/1.0\r\n"
            "Host: localhost\r\n" + kFixedLines);
  EXPECT_EQ(outcome.success, 1);
}

TEST_F(HttpTest, NameIsSentAsRawCp932BytesWithSpaceAndAmpersandUnchanged) {
  // ソ has a backslash (0x5C) as its second byte; nothing may escape or encode it.
  const std::string name = app::Sjis(u8"ア イ&ソ");
  ASSERT_EQ(name, std::string("\x83\x41\x20\x83\x43&\x83\x5C"));
  ScriptServer server({Reply("HTTP/1.0 200 OK\r\n\r\n")});
  const std::string query = "command=entry&name=" + name + "&score=1234&pass_s=5611&comment=hi*";
  http.Get(Url(server.Port(), kRankingPath + "?" + query));
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0],
            "GET " + kRankingPath + "?" + query + " HTTP/1.0\r\nHost: localhost\r\n" + kFixedLines);
}

TEST_F(HttpTest, PathAndQueryAreCutAt256Characters) {
  ScriptServer server({Reply("HTTP/1.0 200 OK\r\n\r\n")});
  std::string path = "/" + std::string(300, 'p');
  http.Get(Url(server.Port(), path));
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].substr(0, server.Requests()[0].find("\r\n")),
            "GET " + path.substr(0, 256) + " HTTP/1.0");
}

TEST_F(HttpTest, UnusableUrlsRaiseBeforeAnyTraffic) {
  ScriptServer server({Reply("HTTP/1.0 200 OK\r\n\r\n")});
  const std::string port = std::to_string(server.Port());
  struct Case {
    std::string url, message;
  } cases[] = {
      {"https://localhost:" + port + "/", "HTTP Secure Socket is not supported"},
      {"", "Empty URL"},
      {"http://localhost:80x/", "'80x' is not a valid integer value"},
  };
  for (const Case& c : cases) {
    try {
      http.Get(c.url);
      ADD_FAILURE() << c.url << " was accepted";
    } catch (const ranking::ESockError& e) {
      ADD_FAILURE() << c.url << " raised a socket error: " << e.what();
    } catch (const app::Exception& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }
  EXPECT_EQ(server.Connections(), 0);
  EXPECT_EQ(outcome.success + outcome.failure, 0);
}

// --- URL splitting and the header list ---

TEST(HttpText, NthFieldAndNthPosition) {
  EXPECT_EQ(ranking::NthField("http://host:81/a/b", '/', 3), "host:81");
  EXPECT_EQ(ranking::NthField("a:b", ':', 1), "a");
  EXPECT_EQ(ranking::NthField("a:b", ':', 2), "b");
  EXPECT_EQ(ranking::NthField("a:b", ':', 3), "");
  EXPECT_EQ(ranking::NthField("", ':', 1), "");
  EXPECT_EQ(ranking::NthField("a::c", ':', 2), "");
  EXPECT_EQ(ranking::NthPosition("http://h/x", '/', 3), 9u);
  EXPECT_EQ(ranking::NthPosition("http://h/", '/', 3), 10u);  // the last character
  EXPECT_EQ(ranking::NthPosition("http://h", '/', 3), 9u);    // none
}

TEST_F(NetTest, SplitUrlSetsHostPortAndPath) {
  struct Case {
    std::string url;
    std::string host, path, url_after;
    std::int32_t port;
  } cases[] = {
      {"http://ranking.test" + kRankingPath + "?q=1", "ranking.test", kRankingPath + "?q=1",
       "http://ranking.test" + kRankingPath + "?q=1", 80},
      {"http://host:8080/a", "host", "/a", "http://host:8080/a", 8080},
      {"http://host", "host", "/", "http://host/", 80},
      {"http://host/", "host", "/", "http://host//", 80},
      {"HTTP://Host/x", "Host", "/x", "HTTP://Host/x", 80},
      {"gopher://g/x", "g", "/x", "gopher://g/x", 70},
      {"ftp://f/x", "f", "/x", "ftp://f/x", 21},
      {"/abs/path", "before", "/abs/path", "/abs/path", 81},
      {"bare/x", "bare", "/x", "bare/x", 81},
  };
  for (const Case& c : cases) {
    TNMHTTP http(nullptr);
    http.Host = "before";
    http.Port = 81;
    http.URL = c.url;
    http.SplitURL();
    EXPECT_EQ(http.Host, c.host) << c.url;
    EXPECT_EQ(http.Port, c.port) << c.url;
    EXPECT_EQ(http.RequestPath, c.path) << c.url;
    EXPECT_EQ(http.URL, c.url_after) << c.url;
  }
}

TEST(HttpText, HeaderListFindsAndSetsHeadersByName) {
  ranking::TExStringList list;
  list.Add("GET /a:b HTTP/1.0");
  list.Add("no colon here");
  list.Add("Host: x");
  EXPECT_EQ(list.HeaderIndex("HOST"), 2);
  EXPECT_EQ(list.HeaderIndex("no colon here"), -1);
  EXPECT_EQ(list.HeaderIndex("Cookie"), -1);
  list.SetHeaderValue("host", "y");
  EXPECT_EQ(list[2], "host: y");
  list.SetHeaderValue("Cookie", "c=1");
  EXPECT_EQ(list[3], "Cookie: c=1");
  list.SetHeaderValue("Host", "");
  list.SetHeaderValue("Absent", "");
  EXPECT_EQ(list.Text(), "GET /a:b HTTP/1.0\r\nno colon here\r\nCookie: c=1\r\n");
  EXPECT_THROW(list.Delete(3), app::EListError);
}

// --- The reply ---

TEST_F(HttpTest, OkReplyCallsSuccessOnceWithHeaderAndBodyAsSent) {
  const std::string header = "HTTP/1.0 200 OK\r\nContent-Length: 5\r\nX-Any: thing\r\n\r\n";
  ScriptServer server({Reply(header + "hello")});
  http.Get(Url(server.Port()));
  EXPECT_EQ(outcome.success, 1);
  EXPECT_EQ(outcome.failure, 0);
  EXPECT_EQ(outcome.commands, std::vector<CmdType>{ranking::CmdGET});
  EXPECT_EQ(http.StatusCode, 200);
  EXPECT_EQ(http.ReplyLength, 5);
  EXPECT_EQ(http.Header, header);
  EXPECT_EQ(http.Body, "hello");
  EXPECT_EQ(server.Connections(), 1);
  EXPECT_FALSE(http.Connected());
}

TEST_F(HttpTest, StatusDecidesBetweenSuccessAndFailure) {
  struct Case {
    std::string reply;
    int status;
    bool success;
  } cases[] = {
      {"HTTP/1.0 200 OK\r\n\r\nbody", 200, true},
      {"HTTP/1.0 200\r\n\r\nbody", 200, true},  // the line ends right after the number
      {"HTTP/1.0 204 No Content\n\n", 204, true},
      {"HTTP/1.0 404 Not Found\r\n\r\n", 404, false},
      {"HTTP/1.0 500 Oops\r\n\r\n", 500, false},
      {"", 0, false},  // closed without a reply
      {"HTTP/1.0 200 OK", 0, false},  // closed before the status line ended
      {"garbage\r\n\r\n", 0, false},
      {"HTTP/1.0 -200 X\r\n\r\n", 0, false},
      {"HTTP/1.0 99999 X\r\n\r\n", 0, false},
      {"HTTP/1.0 299 Odd\r\n\r\n", 299, false},
      {"HTTP/1.0 303 See Other\r\nLocation: /x\r\n\r\n", 303, false},
      {"HTTP/1.0 304 Not Modified\r\n\r\n", 304, false},
      {"HTTP/1.0 399 Odd\r\n\r\n", 399, false},
  };
  for (const Case& c : cases) {
    ScriptServer server({Reply(c.reply)});
    outcome = {};
    http.Get(Url(server.Port()));
    EXPECT_EQ(http.StatusCode, c.status) << c.reply;
    EXPECT_EQ(outcome.success, c.success ? 1 : 0) << c.reply;
    EXPECT_EQ(outcome.failure, c.success ? 0 : 1) << c.reply;
    EXPECT_EQ(outcome.redirects, 0) << c.reply;
    EXPECT_EQ(server.Connections(), 1) << c.reply;
  }
}

TEST_F(HttpTest, BodyArrivingOneByteAtATimeIsCapturedWhole) {
  const std::string body = "one byte at a time, all of it\r\nand a second line";
  ScriptServer server({[&](ServerConnection& c) {
    c.ReadRequest();
    c.SendSlowly("HTTP/1.0 200 OK\r\n\r\n" + body, 1);
  }});
  http.Get(Url(server.Port()));
  EXPECT_EQ(outcome.success, 1);
  EXPECT_EQ(http.Body, body);
}

TEST_F(HttpTest, EventsComeInTheirOrder) {
  ScriptServer server({Reply("HTTP/1.0 401 Unauthorized\r\n\r\n")});
  std::vector<std::string> events;
  http.OnAboutToSend = [&](app::TObject*) { events.push_back("about to send, " + std::to_string(server.Connections())); };
  http.OnFailure = [&](CmdType) { events.push_back("failure"); };
  http.OnAuthenticationNeeded = [&](app::TObject*) { events.push_back("authentication"); };
  http.Get(Url(server.Port()));
  EXPECT_EQ(events, (std::vector<std::string>{"about to send, 0", "failure", "authentication"}));
}

TEST_F(HttpTest, FileModesWriteTheReplyIntoTheNamedFiles) {
  testing_support::ScopedTempDir dir;
  ScriptServer server({Reply("HTTP/1.0 200 OK\r\nA: b\r\n\r\nthe body")});
  http.InputFileMode = true;
  http.OutputFileMode = true;
  http.Body = "body.htm";
  http.Header = "head.txt";
  http.Get(Url(server.Port()));
  EXPECT_EQ(outcome.success, 1);
  EXPECT_EQ(testing_support::ReadFile(dir.Path() / "body.htm"), "the body");
  EXPECT_EQ(testing_support::ReadFile(dir.Path() / "head.txt"), "HTTP/1.0 200 OK\r\nA: b\r\n\r\n");
  EXPECT_EQ(http.Body, "body.htm");
}

// --- Redirects ---

TEST_F(HttpTest, AbsoluteLocationGoesToTheNewHostAndPathWithTheCookie) {
  ScriptServer target({Reply("HTTP/1.0 200 OK\r\n\r\nmoved here")});
  ScriptServer first({Reply("HTTP/1.0 302 Found\r\nSet-Cookie: id=42\r\nLocation: http://other:" +
                            std::to_string(target.Port()) + "/x\r\n\r\n")});
  http.Get(Url(first.Port(), "/start"));
  ASSERT_EQ(target.Requests().size(), 1u);
  EXPECT_EQ(target.Requests()[0], "GET /x HTTP/1.0\r\nHost: other\r\n" + kFixedLines.substr(0, kFixedLines.find("Content-type")) +
                                      "Cookie: id=42\r\nContent-type: application/x-www-form-urlencoded\r\n\r\n");
  EXPECT_EQ(outcome.redirects, 1);
  EXPECT_EQ(outcome.success, 1);
  EXPECT_EQ(http.Body, "moved here");
  EXPECT_EQ(http.URL, "http://other:" + std::to_string(target.Port()) + "/x");
}

TEST_F(HttpTest, BareLocationGoesToTheSameServersRoot) {
  ScriptServer server({Reply("HTTP/1.0 302 Found\r\nLocation: next.cgi\r\n\r\n"), Reply("HTTP/1.0 200 OK\r\n\r\n")});
  http.Get(Url(server.Port(), "/dir/start.cgi"));
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(server.Requests()[1].substr(0, server.Requests()[1].find("\r\n")), "GET /next.cgi HTTP/1.0");
  EXPECT_EQ(outcome.success, 1);
}

TEST_F(HttpTest, RedirectLoopEndsAfterFiveFollowUpsAsAFailure) {
  ScriptServer loop({Reply("HTTP/1.0 301 Moved\r\nLocation: /again\r\n\r\n")});
  http.Get(Url(loop.Port(), "/again"));
  EXPECT_EQ(loop.Connections(), 6);
  EXPECT_EQ(outcome.redirects, 5);
  EXPECT_EQ(outcome.failure, 1);
  EXPECT_EQ(outcome.success, 0);
  EXPECT_EQ(http.StatusCode, 301);
}

TEST_F(HttpTest, HandledRedirectEndsTheCycle) {
  ScriptServer server({Reply("HTTP/1.0 302 Found\r\nLocation: /elsewhere\r\n\r\n")});
  http.OnRedirect = [this](bool& handled) {
    ++outcome.redirects;
    handled = true;
  };
  http.Get(Url(server.Port()));
  EXPECT_EQ(server.Connections(), 1);
  EXPECT_EQ(outcome.redirects, 1);
  EXPECT_EQ(outcome.success + outcome.failure, 0);
  EXPECT_EQ(http.URL, "/elsewhere");
}

TEST_F(HttpTest, ControlBytesInALocationOrCookieMakeAFailureWithNoFollowUpAndNoCookieKept) {
  using namespace std::string_literals;
  struct Case {
    const char* what;
    std::string reply;
  } cases[] = {
      {"CR in the location", "HTTP/1.0 302 Found\r\nSet-Cookie: id=42\r\nLocation: /next\rX-Evil: 1\r\n\r\n"},
      {"NUL in the cookie", "HTTP/1.0 302 Found\r\nSet-Cookie: id=4\0"s "2\r\nLocation: /next\r\n\r\n"},
      {"DEL in the location", "HTTP/1.0 301 Moved\r\nLocation: /a\x7f" "b\r\n\r\n"},
      {"NUL in the cookie of a 200", "HTTP/1.0 200 OK\r\nSet-Cookie: id=4\0"s "2\r\n\r\nbody"},
      {"ESC in the cookie", "HTTP/1.0 302 Found\r\nSet-Cookie: id=\x1b[2J\r\nLocation: /next\r\n\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // The second connection would be the follow-up; here it takes the next, separate send.
    ScriptServer server({Reply(c.reply), Reply("HTTP/1.0 200 OK\r\n\r\n")});
    outcome = {};
    http.HeaderInfo.Cookie.clear();
    http.Get(Url(server.Port(), "/start"));
    EXPECT_EQ(outcome.failure, 1);
    EXPECT_EQ(outcome.success, 0);
    EXPECT_EQ(outcome.redirects, 0);
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_EQ(http.HeaderInfo.Cookie, "");
    EXPECT_EQ(http.ReceivedCookie, "");

    http.Get(Url(server.Port(), "/again"));
    ASSERT_EQ(server.Requests().size(), 2u);
    EXPECT_EQ(server.Requests()[1], "GET /again HTTP/1.0\r\nHost: localhost\r\n" + kFixedLines);
  }
}

// --- Failures of the transport ---

TEST_F(HttpTest, TransportFailuresRaiseTheirMessagesAndCallNoEvent) {
  EXPECT_EQ(MessageOf<ranking::ESockError>([&] { http.Get(Url(testing_support::UnusedPort())); }),
            "Connection Failed");
  EXPECT_EQ(MessageOf<ranking::ESockError>([&] { http.Get("http://no.such.host.test/"); }), "Null Remote Address");
  EXPECT_EQ(outcome.success + outcome.failure + outcome.redirects, 0);
  // The component is ready again after each failure.
  ScriptServer server({Reply("HTTP/1.0 200 OK\r\n\r\n")});
  http.Get(Url(server.Port()));
  EXPECT_EQ(outcome.success, 1);
}

TEST_F(HttpTest, TimeOutEndsTheWaitForASilentServer) {
  ScriptServer server({[](ServerConnection& c) {
    c.ReadRequest();
    c.WaitForPeerClose();
  }});
  http.TimeOut = 1000;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(MessageOf<ranking::EAbortError>([&] { http.Get(Url(server.Port())); }), "Socket readln aborted");
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(900));
  EXPECT_LT(elapsed, std::chrono::seconds(30));
  EXPECT_EQ(outcome.success + outcome.failure, 0);
  EXPECT_FALSE(http.Canceled());
}

// --- Hostile replies: each ends cleanly, holding no more than its bounds ---

TEST_F(HttpTest, HostileRepliesEndCleanlyWithinTheirBounds) {
  std::mt19937 random(7);
  std::string noise(256 * 1024, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  const std::string filler = "X-Filler: " + std::string(100, 'f') + "\r\n";
  struct Case {
    const char* name;
    testing_support::ServerScript script;
    bool success;  // the status it carries
    bool may_raise;
  } cases[] = {
      {"status line of 1 MiB without a line end",
       [](ServerConnection& c) {
         c.ReadRequest();
         c.Send("HTTP/1.0 200 OK" + std::string(1 << 20, 'a'));
       },
       true, false},
      {"header line of 1 MiB without a line end",
       [](ServerConnection& c) {
         c.ReadRequest();
         c.Send("HTTP/1.0 200 OK\r\nX-Long: " + std::string(1 << 20, 'a'));
       },
       true, false},
      {"10 MiB of headers",
       [&](ServerConnection& c) {
         c.ReadRequest();
         if (!c.Send("HTTP/1.0 404 Not Found\r\n")) return;
         for (std::size_t sent = 0; sent < (10u << 20); sent += filler.size())
           if (!c.Send(filler)) return;
       },
       false, false},
      {"endless body",
       [](ServerConnection& c) {
         c.ReadRequest();
         if (!c.Send("HTTP/1.0 200 OK\r\n\r\n")) return;
         const std::string chunk(65536, 'b');
         while (c.Send(chunk)) {
         }
       },
       true, false},
      {"binary noise",
       [&](ServerConnection& c) {
         c.ReadRequest();
         c.Send(noise);
       },
       false, false},
      {"reset in the middle",
       [](ServerConnection& c) {
         c.ReadRequest();
         c.Send("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(3000, 'r'));
         c.Pause(50);
         c.Reset();
       },
       true, true},
  };
  for (const Case& c : cases) {
    ScriptServer server({c.script});
    outcome = {};
    try {
      http.Get(Url(server.Port()));
      EXPECT_EQ(outcome.success, c.success ? 1 : 0) << c.name;
      EXPECT_EQ(outcome.failure, c.success ? 0 : 1) << c.name;
    } catch (const ranking::ESockError& e) {
      EXPECT_TRUE(c.may_raise) << c.name << ": " << e.what();
      EXPECT_EQ(e.Message(), "10054:Connection reset by peer") << c.name;
    }
    EXPECT_LE(http.Header.size(), TNMHTTP::kMaxHeaderBytes) << c.name;
    EXPECT_LE(http.Body.size(), static_cast<std::size_t>(TNMHTTP::kMaxBodyBytes)) << c.name;
    EXPECT_FALSE(http.Connected()) << c.name;
  }
}

TEST_F(HttpTest, ReplyIsHeldToItsBounds) {
  ScriptServer server({[](ServerConnection& c) {
                         c.ReadRequest();
                         c.Send("HTTP/1.0 200 OK\r\n\r\n" + std::string(3 << 20, 'b'));
                       },
                       [](ServerConnection& c) {
                         c.ReadRequest();
                         c.Send("HTTP/1.0 200 OK\r\n" + std::string(200000, 'h') + "\r\n\r\nbody");
                       }});
  http.Get(Url(server.Port()));
  EXPECT_EQ(http.Body, std::string(1 << 20, 'b'));
  http.Get(Url(server.Port()));
  EXPECT_EQ(http.Header.size(), TNMHTTP::kMaxHeaderBytes);
  EXPECT_EQ(http.Header.substr(0, 20), "HTTP/1.0 200 OK\r\nhhh");
  EXPECT_EQ(http.Body, "");
  EXPECT_EQ(outcome.success, 2);
}

}  // namespace
