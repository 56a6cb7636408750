#include "ranking_fixture.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <regex>

extern char** environ;

namespace ranking_test {

ChildProcess::ChildProcess(const std::vector<std::string>& argv, bool capture_stdout) {
  int err_pipe[2], out_pipe[2] = {-1, -1};
  if (pipe(err_pipe) != 0 || (capture_stdout && pipe(out_pipe) != 0)) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  posix_spawn_file_actions_addclose(&actions, err_pipe[0]);
  if (capture_stdout) {
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
    posix_spawn_file_actions_addclose(&actions, out_pipe[0]);
  }
  // A group of its own, so that helpers the child starts end with it.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  int rc = posix_spawn(&pid_, args[0], &actions, &attr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  close(err_pipe[1]);
  if (capture_stdout) close(out_pipe[1]);
  if (rc != 0) {
    close(err_pipe[0]);
    if (capture_stdout) close(out_pipe[0]);
    throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
  }
  readers_.emplace_back([this, fd = err_pipe[0]] { Collect(fd, err_); });
  if (capture_stdout) readers_.emplace_back([this, fd = out_pipe[0]] { Collect(fd, out_); });
}

ChildProcess::~ChildProcess() {
  if (!reaped_) {
    kill(-pid_, SIGKILL);
    Wait(std::chrono::seconds(10));
  }
  kill(-pid_, SIGKILL);  // whatever the child left behind in its group
  for (std::thread& t : readers_) t.join();
}

void ChildProcess::Collect(int fd, std::string& into) {
  char buf[4096];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    std::lock_guard lock(mutex_);
    into.append(buf, static_cast<std::size_t>(n));
  }
  close(fd);
}

std::string ChildProcess::Output() const {
  std::lock_guard lock(mutex_);
  return out_;
}

std::string ChildProcess::Errors() const {
  std::lock_guard lock(mutex_);
  return err_;
}

bool ChildProcess::WaitForError(const std::string& text, std::chrono::milliseconds timeout) {
  auto until = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < until) {
    if (Errors().find(text) != std::string::npos) return true;
    siginfo_t info{};
    if (!reaped_ && waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        info.si_pid == pid_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let the readers catch up
      return Errors().find(text) != std::string::npos;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

void ChildProcess::Signal(int signal) {
  if (!reaped_) kill(pid_, signal);
}

int ChildProcess::Wait(std::chrono::milliseconds timeout) {
  auto until = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      reaped_ = true;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (std::chrono::steady_clock::now() >= until) {
      kill(-pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      reaped_ = true;
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

RankingServer::RankingServer(std::vector<std::string> extra, std::filesystem::path db) : extra_(std::move(extra)) {
  std::random_device rd;
  dir_ = std::filesystem::temp_directory_path() /
         ("velkor-ranking-test-" + std::to_string(getpid()) + "-" + std::to_string(rd()));
  std::filesystem::create_directories(dir_);
  db_ = db.empty() ? dir_ / "ranking.db" : db;
  Start();
}

RankingServer::~RankingServer() {
  process_.reset();
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

void RankingServer::Start() {
  std::vector<std::string> argv{VELKOR_RANKING_BINARY, "--listen", "127.0.0.1:0", "--db", db_.string()};
  argv.insert(argv.end(), extra_.begin(), extra_.end());
  process_ = std::make_unique<ChildProcess>(argv);
  if (!process_->WaitForError("listening on", std::chrono::seconds(20)))
    throw std::runtime_error("velkor-ranking did not start: " + process_->Errors());
  std::smatch m;
  std::string log = process_->Errors();
  if (!std::regex_search(log, m, std::regex("listening on 127\\.0\\.0\\.1:([0-9]+)")))
    throw std::runtime_error("no port in: " + log);
  port_ = static_cast<unsigned short>(std::stoi(m[1]));
}

int RankingServer::Stop() {
  process_->Signal(SIGTERM);
  return process_->Wait(std::chrono::seconds(30));
}

void RankingServer::Kill() {
  process_->Signal(SIGKILL);
  process_->Wait(std::chrono::seconds(30));
}

void RankingServer::Restart() { Start(); }

std::string Exchange(unsigned short port, const std::string& bytes, const std::string& from) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  EXPECT_GE(fd, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  inet_pton(AF_INET, from.c_str(), &local.sin_addr);
  EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local), 0) << std::strerror(errno);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  inet_pton(AF_INET, "127.0.0.1", &addr.sin_addr);
  std::string reply;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ADD_FAILURE() << "connect: " << std::strerror(errno);
    close(fd);
    return reply;
  }
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;  // the server may answer and close before taking it all
    sent += static_cast<std::size_t>(n);
  }
  char buf[8192];
  for (;;) {
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      EXPECT_EQ(errno, ECONNRESET) << std::strerror(errno);
    }
    if (n <= 0) break;
    reply.append(buf, static_cast<std::size_t>(n));
  }
  close(fd);
  return reply;
}

std::string GameRequest(const std::string& target) {
  return "GET " + target +
         " HTTP/1.0\r\n"
         "Host: localhost\r\n"
         "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n"
         "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n"
         "Content-type: application/x-www-form-urlencoded\r\n"
         "\r\n";
}

std::string EntryRequest(const std::string& name, const std::string& score, const std::string& pass,
                         const std::string& comment) {
  return GameRequest(std::string(kRankingPath) + "?command=entry&name=" + name + "&score=" + score +
                     "&pass_s=" + pass + "&comment=" + comment + "*");
}

int StatusOf(const std::string& response) {
  if (response.size() < 12 || response.compare(0, 5, "HTTP/") != 0) return 0;
  return std::atoi(response.c_str() + 9);
}

std::string BodyOf(const std::string& response) {
  std::size_t end = response.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : response.substr(end + 4);
}

std::string HeaderOf(const std::string& response, const std::string& name) {
  std::string head = response.substr(0, response.find("\r\n\r\n"));
  std::size_t at = head.find("\r\n" + name + ": ");
  if (at == std::string::npos) return {};
  at += name.size() + 4;
  return head.substr(at, head.find("\r\n", at) - at);
}

std::string RankingJson(unsigned short port) {
  std::string reply = Exchange(port, GameRequest(std::string(kRankingPath) + "?format=json"));
  EXPECT_EQ(StatusOf(reply), 200);
  return BodyOf(reply);
}

}  // namespace ranking_test
