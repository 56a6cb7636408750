// The server on a public address: clients that hold connections, malformed heads, a stalled
// standard error and a short supply of file descriptors must not shut the other players out.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <regex>

#include "game/hiscore.h"
#include "ranking_fixture.h"
#include "support/harness.h"
#include "support/process.h"

namespace ranking_test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using Clock = std::chrono::steady_clock;

int CountOf(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::string PageRequest11() { return "GET " + std::string(kRankingPath) + " HTTP/1.1\r\nHost: a\r\n\r\n"; }

// Each client is answered or closed before a deadline shared by all; says how long the last one
// took, and fails for each that was left waiting.
double AllAnsweredOrClosed(std::vector<std::unique_ptr<RawConnection>>& clients, Clock::time_point started,
                           std::vector<int>& statuses) {
  // Well within the 10 s that a held connection is kept waiting for its request.
  auto deadline = started + seconds(5);
  for (auto& c : clients) {
    auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    std::string reply = c->ReceiveAll(std::max(left, milliseconds(1)));
    EXPECT_TRUE(c->closed() || StatusOf(reply) != 0) << "a client was left waiting";
    statuses.push_back(StatusOf(reply));
  }
  return std::chrono::duration<double>(Clock::now() - started).count();
}

TEST(OpenInternet, APlayerGetsThroughWhileAnotherAddressHoldsAllItMay) {
  RankingServer server({"--max-connections", "40"});
  // One address opens every slot there is and sends nothing.
  std::vector<std::unique_ptr<RawConnection>> held;
  for (int i = 0; i < 40; ++i) held.push_back(std::make_unique<RawConnection>(server.Port(), "127.0.0.2"));
  std::string reply = Exchange(server.Port(), EntryRequest("abc", "1234", "5611", "hi"), "127.0.0.3");
  EXPECT_EQ(StatusOf(reply), 200) << reply;
  // It was given its share of 32 (the default); the rest were turned away with a reply.
  int kept = 0, turned_away = 0;
  for (auto& c : held) {
    c->Send(PageRequest11());
    int status = StatusOf(c->Receive(seconds(10)));
    kept += status == 200;
    turned_away += status == 503;
  }
  EXPECT_EQ(kept, 32);
  EXPECT_EQ(turned_away, 8);
  server.LogOnceItHas(" too-many-from-address ", 8);
}

TEST(OpenInternet, WhenSlotsRunShortIdleKeepAliveConnectionsGoFirst) {
  RankingServer server({"--max-connections", "4"});
  std::vector<std::unique_ptr<RawConnection>> idle;
  for (int i = 0; i < 4; ++i) {
    idle.push_back(std::make_unique<RawConnection>(server.Port(), "127.0.0." + std::to_string(2 + i)));
    idle.back()->Send(PageRequest11());
    ASSERT_EQ(StatusOf(idle.back()->Receive(seconds(10))), 200);
  }
  std::string reply = Exchange(server.Port(), EntryRequest("abc", "1234", "5611", "hi"), "127.0.0.9");
  EXPECT_EQ(StatusOf(reply), 200) << reply;
  // The one idle longest made room; the others still serve.
  idle[0]->ReceiveAll(seconds(10));
  EXPECT_TRUE(idle[0]->closed());
  for (std::size_t i = 1; i < idle.size(); ++i) {
    idle[i]->Send(PageRequest11());
    EXPECT_EQ(StatusOf(idle[i]->Receive(seconds(10))), 200) << i;
  }
}

TEST(OpenInternet, AConnectionTakesSoManyRequestsAtMost) {
  RankingServer server({"--max-requests-per-connection", "3"});
  RawConnection c(server.Port());
  std::string five;
  for (int i = 0; i < 5; ++i) five += PageRequest11();
  c.Send(five);
  std::string replies = c.ReceiveAll(seconds(20));
  EXPECT_TRUE(c.closed());
  EXPECT_EQ(CountOf(replies, "HTTP/1.1 200 "), 3) << replies;
  EXPECT_EQ(CountOf(replies, "Connection: keep-alive"), 2);
  EXPECT_EQ(CountOf(replies, "Connection: close"), 1);
}

// A front end that reads such a head otherwise would see the second request as a body, or the
// other way round: the head is refused and nothing after it is read.
TEST(OpenInternet, AHeadWithAMalformedHeaderLineIsRefusedAndNothingAfterItHandled) {
  RankingServer server;
  const std::string smuggled = EntryRequest("smuggled", "1234", "5611", "hi");
  const std::string size = std::to_string(smuggled.size());
  for (const std::string& header : {"Content-Length : " + size + "\r\n", "Host: a\rContent-Length: " + size + "\r\n"}) {
    RawConnection c(server.Port());
    c.Send("GET " + std::string(kRankingPath) + " HTTP/1.1\r\n" + header + "\r\n" + smuggled);
    std::string replies = c.ReceiveAll(seconds(20));
    EXPECT_TRUE(c.closed());
    EXPECT_EQ(StatusOf(replies), 400) << replies;
    EXPECT_EQ(CountOf(replies, "HTTP/1."), 1) << replies;
  }
  EXPECT_EQ(RankingJson(server.Port()).find("smuggled"), std::string::npos);
}

// A reader of standard error that stops (a paused terminal, `| tee` held up) costs log lines,
// never answers; and SIGTERM still stops the server.
TEST(OpenInternet, AStalledStandardErrorNeverHoldsUpServing) {
  testing_support::ScopedTempDir dir;
  std::string fifo = (dir.Path() / "stderr").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  std::string seen;
  auto read_some = [&] {
    char buf[65536];
    ssize_t n;
    while ((n = read(reader, buf, sizeof buf)) > 0) seen.append(buf, static_cast<std::size_t>(n));
  };
  testing_support::ChildProcess server;
  server.Start({VELKOR_RANKING_BINARY, "--listen", "127.0.0.1:0", "--db", (dir.Path() / "r.db").string()}, {}, "",
               fifo);
  std::regex listening("listening on 127\\.0\\.0\\.1:([0-9]+)");
  std::smatch m;
  ASSERT_TRUE(testing_support::WaitUntil(
      [&] {
        read_some();
        return std::regex_search(seen, m, listening);
      },
      seconds(20)))
      << seen;
  auto port = static_cast<unsigned short>(std::stoi(m[1]));

  // Each request logs a line of over 2 KiB: far more than the pipe and the queue hold together.
  const std::string pad = "?pad=" + std::string(2000, 'x');
  auto serve = [&](int requests) {
    for (int i = 0; i < requests; ++i) {
      RawConnection c(port);
      c.Send(GameRequest(kRankingPath + pad));
      std::string reply = c.ReceiveAll(seconds(10));
      if (StatusOf(reply) != 200) {
        ADD_FAILURE() << "request " << i << " of " << requests << " not answered";
        return false;
      }
    }
    return true;
  };
  ASSERT_TRUE(serve(800));
  // Once the reader takes lines again, the count of those dropped is written.
  std::regex dropped("velkor-ranking: ([0-9]+) log lines dropped");
  EXPECT_TRUE(testing_support::WaitUntil(
      [&] {
        read_some();
        return std::regex_search(seen, m, dropped);
      },
      seconds(20)));
  EXPECT_GT(std::stoi(m[1]), 0);
  EXPECT_EQ(CountOf(seen, "\"GET /"), 800 - std::stoi(m[1]));

  EXPECT_TRUE(serve(100));  // stalled again
  server.Signal(SIGTERM);
  EXPECT_EQ(server.Wait(seconds(30)), std::optional<int>(0));
  close(reader);
}

// With an open-files limit of 40 the server serves fewer connections and says so. Clients that
// hold connections then take every slot there is, and the clients after them are answered or
// closed rather than left waiting for an accept that cannot be made.
TEST(OpenInternet, UnderASmallOpenFilesLimitEveryClientIsAnsweredOrClosed) {
  RankingServer server({}, {}, {"prlimit", "--nofile=40:40", "--"});
  EXPECT_NE(server.Log().find("--max-connections lowered from 512 to 8"), std::string::npos) << server.Log();
  std::vector<std::unique_ptr<RawConnection>> holders, clients;
  for (int i = 0; i < 30; ++i)
    holders.push_back(std::make_unique<RawConnection>(server.Port(), "127.0.0." + std::to_string(2 + i % 4)));
  auto started = Clock::now();
  for (int i = 0; i < 30; ++i) {
    clients.push_back(std::make_unique<RawConnection>(server.Port(), "127.0.0.9"));
    clients.back()->Send(GameRequest(kRankingPath));
  }
  std::vector<int> statuses;
  double took = AllAnsweredOrClosed(clients, started, statuses);
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), 503), 30);
  std::cout << "30 clients answered or closed in " << took << " s\n";
}

// Descriptors can still run out (taken by the system, or a limit lowered while it runs): the
// clients waiting are then turned away at once.
TEST(OpenInternet, WithNoDescriptorLeftWaitingClientsAreTurnedAway) {
  RankingServer server;
  pid_t pid = server.Process().Pid();
  int lowest = 0;
  while (std::filesystem::exists("/proc/" + std::to_string(pid) + "/fd/" + std::to_string(lowest))) ++lowest;
  rlimit limit{};
  ASSERT_EQ(prlimit(pid, RLIMIT_NOFILE, nullptr, &limit), 0);
  limit.rlim_cur = static_cast<rlim_t>(lowest);
  ASSERT_EQ(prlimit(pid, RLIMIT_NOFILE, &limit, nullptr), 0);

  std::vector<std::unique_ptr<RawConnection>> clients;
  auto started = Clock::now();
  for (int i = 0; i < 20; ++i) {
    clients.push_back(std::make_unique<RawConnection>(server.Port()));
    clients.back()->Send(GameRequest(kRankingPath));
  }
  std::vector<int> statuses;
  double took = AllAnsweredOrClosed(clients, started, statuses);
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), 503), 20);
  std::cout << "20 clients turned away in " << took << " s\n";
  server.LogOnceItHas(" out-of-descriptors ", 20);
}

}  // namespace
}  // namespace ranking_test
