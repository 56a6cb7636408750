#pragma once
// The real velkor-ranking program started on 127.0.0.1 with a database in a fresh directory, and
// a plain socket client that sends bytes exactly as given.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ranking_test {

inline constexpr const char* kRankingPath = "/~tobrin/soft/velkor/ran/ranking.cgi";

// A child program whose output is collected by a thread of its own.
class ChildProcess {
 public:
  // Starts `argv[0]` with the arguments; standard error (and, with `capture_stdout`, standard
  // output) is collected.
  ChildProcess(const std::vector<std::string>& argv, bool capture_stdout = false);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  std::string Output() const;
  std::string Errors() const;
  // Waits until standard error holds `text`; false at the timeout or when the child ended first.
  bool WaitForError(const std::string& text, std::chrono::milliseconds timeout);
  void Signal(int signal);
  // Waits for the child's end; its exit status, or 128 + the signal that ended it, or -1 at the
  // timeout (when the child is killed).
  int Wait(std::chrono::milliseconds timeout);
  pid_t Pid() const { return pid_; }

 private:
  void Collect(int fd, std::string& into);

  pid_t pid_ = -1;
  bool reaped_ = false;
  mutable std::mutex mutex_;
  std::string out_, err_;
  std::vector<std::thread> readers_;
};

class RankingServer {
 public:
  // Starts the server on a free port with `db` (default: ranking.db in a new directory) and the
  // extra arguments.
  explicit RankingServer(std::vector<std::string> extra = {}, std::filesystem::path db = {});
  ~RankingServer();

  unsigned short Port() const { return port_; }
  const std::filesystem::path& Db() const { return db_; }
  std::string Log() const { return process_->Errors(); }
  ChildProcess& Process() { return *process_; }
  // SIGTERM, then the exit status.
  int Stop();
  void Kill();
  // Starts it again on the same database (a new port).
  void Restart();

 private:
  void Start();

  std::filesystem::path dir_;
  std::filesystem::path db_;
  std::vector<std::string> extra_;
  std::unique_ptr<ChildProcess> process_;
  unsigned short port_ = 0;
};

// Connects from `from` (any 127.x.y.z works on loopback), sends `bytes` and reads until the
// server closes. Fails the test on a socket error other than a reset.
std::string Exchange(unsigned short port, const std::string& bytes, const std::string& from = "127.0.0.1");
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
