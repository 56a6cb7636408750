#pragma once
// The real velkor-ranking program started on 127.0.0.1 with a database in a fresh directory, and
// a plain socket client that sends bytes exactly as given.
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/process.h"

namespace ranking_test {

inline constexpr const char* kRankingPath = "/~tobrin/soft/velkor/ran/ranking.cgi";

class RankingServer {
 public:
  // Starts the server on a free port with `db` (default: ranking.db in a new directory) and the
  // extra arguments, under the `wrapper` command when one is given (e.g. prlimit and its options).
  explicit RankingServer(std::vector<std::string> extra = {}, std::filesystem::path db = {},
                         std::vector<std::string> wrapper = {});
  ~RankingServer();

  unsigned short Port() const { return port_; }
  const std::filesystem::path& Db() const { return db_; }
  // What the running server wrote to standard error.
  std::string Log() const;
  // The log once `text` is in it `times` times or more (a thread of the server's writes it, just
  // after the replies); a test failure when it does not come within 10 s.
  std::string LogOnceItHas(const std::string& text, int times = 1) const;
  testing_support::ChildProcess& Process() { return *process_; }
  // A signal, then the exit status (-1 when it is still running after 30 s).
  int Stop(int signal = SIGTERM);
  void Kill() { Stop(SIGKILL); }
  // Starts it again on the same database (a new port).
  void Restart() { Start(); }

 private:
  void Start();

  std::filesystem::path dir_;
  std::filesystem::path db_;
  std::filesystem::path log_;
  int starts_ = 0;
  std::vector<std::string> extra_;
  std::vector<std::string> wrapper_;
  std::unique_ptr<testing_support::ChildProcess> process_;
  unsigned short port_ = 0;
};

// The standard error (with standard output) of a program run to its end; `status` gets its exit
// status, -1 if it ran longer than `timeout`.
std::string RunToEnd(const std::vector<std::string>& argv, int& status,
                     std::chrono::milliseconds timeout = std::chrono::seconds(60));

// A socket connected from `from` (any 127.x.y.z works on loopback) to the server's port, or -1
// with a test failure.
int ConnectFrom(unsigned short port, const std::string& from);
// Connects from `from`, sends `bytes` and reads until the server closes. Fails the test on a
// socket error other than a reset.
std::string Exchange(unsigned short port, const std::string& bytes, const std::string& from = "127.0.0.1");
// Whether something on 127.0.0.1 accepts connections on `port`.
bool Reachable(unsigned short port);
// A connected socket that the test drives by hand.
class RawConnection {
 public:
  explicit RawConnection(unsigned short port, const std::string& from = "127.0.0.1") : fd_(ConnectFrom(port, from)) {}
  ~RawConnection();
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;
  bool Send(const std::string& bytes);
  // Reads what has arrived within `wait`; "" and closed() at the server's close.
  std::string Receive(std::chrono::milliseconds wait);
  // Reads until the server closes or `wait` has passed.
  std::string ReceiveAll(std::chrono::milliseconds wait);
  bool closed() const { return closed_; }

 private:
  int fd_;
  bool closed_ = false;
};

// The request line and header the game's client sends for a target.
std::string GameRequest(const std::string& target);
// The ranking request for an entry, as the game builds its query.
std::string EntryRequest(const std::string& name, const std::string& score, const std::string& pass,
                         const std::string& comment);
int StatusOf(const std::string& response);
std::string BodyOf(const std::string& response);
std::string HeaderOf(const std::string& response, const std::string& name);
// The ranking as JSON, fetched from the server.
std::string RankingJson(unsigned short port);

}  // namespace ranking_test
