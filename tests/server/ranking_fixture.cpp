#include "ranking_fixture.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <regex>

#include "support/harness.h"

namespace ranking_test {

RankingServer::RankingServer(std::vector<std::string> extra, std::filesystem::path db, std::vector<std::string> wrapper)
    : extra_(std::move(extra)), wrapper_(std::move(wrapper)) {
  std::random_device rd;
  dir_ = std::filesystem::temp_directory_path() /
         ("velkor-ranking-test-" + std::to_string(getpid()) + "-" + std::to_string(rd()));
  std::filesystem::create_directories(dir_);
  db_ = db.empty() ? dir_ / "ranking.db" : db;
  Start();
}

RankingServer::~RankingServer() {
  process_.reset();  // kills a server still running
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

void RankingServer::Start() {
  std::vector<std::string> argv{VELKOR_RANKING_BINARY, "--listen", "127.0.0.1:0", "--db", db_.string()};
  argv.insert(argv.end(), extra_.begin(), extra_.end());
  argv.insert(argv.begin(), wrapper_.begin(), wrapper_.end());
  log_ = dir_ / ("server-" + std::to_string(++starts_) + ".log");
  process_ = std::make_unique<testing_support::ChildProcess>();
  process_->Start(argv, {}, "", log_.string());
  std::regex listening("listening on 127\\.0\\.0\\.1:([0-9]+)");
  std::smatch m;
  std::string log;
  testing_support::WaitUntil(
      [&] {
        log = Log();
        return std::regex_search(log, m, listening) || !process_->Running();
      },
      std::chrono::seconds(20));
  if (m.empty()) throw std::runtime_error("velkor-ranking did not start: " + log);
  port_ = static_cast<unsigned short>(std::stoi(m[1]));
}

std::string RankingServer::Log() const { return testing_support::ReadFile(log_); }

std::string RankingServer::LogOnceItHas(const std::string& text, int times) const {
  std::string log;
  auto count = [&] {
    int n = 0;
    for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
  };
  bool found = testing_support::WaitUntil(
      [&] {
        log = Log();
        return count() >= times;
      },
      std::chrono::seconds(10));
  EXPECT_TRUE(found) << "\"" << text << "\" " << count() << " times, not " << times << ", in:\n" << log;
  return log;
}

int RankingServer::Stop(int signal) {
  process_->Signal(signal);
  return process_->Wait(std::chrono::seconds(30)).value_or(-1);
}

std::string RunToEnd(const std::vector<std::string>& argv, int& status, std::chrono::milliseconds timeout) {
  static int runs = 0;
  auto log = std::filesystem::temp_directory_path() /
             ("velkor-ranking-run-" + std::to_string(getpid()) + "-" + std::to_string(++runs) + ".log");
  testing_support::ChildProcess child;
  child.Start(argv, {}, "", log.string());
  status = child.Wait(timeout).value_or(-1);
  if (status == -1) kill(-child.Pid(), SIGKILL);  // the child and whatever it started
  std::string output = testing_support::ReadFile(log);
  std::filesystem::remove(log);
  return output;
}

namespace {

sockaddr_in Loopback(unsigned short port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  inet_pton(AF_INET, "127.0.0.1", &addr.sin_addr);
  return addr;
}

}  // namespace

bool Reachable(unsigned short port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr = Loopback(port);
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return ok;
}

int ConnectFrom(unsigned short port, const std::string& from) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  EXPECT_GE(fd, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  inet_pton(AF_INET, from.c_str(), &local.sin_addr);
  EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local), 0) << std::strerror(errno);
  sockaddr_in addr = Loopback(port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ADD_FAILURE() << "connect: " << std::strerror(errno);
    close(fd);
    return -1;
  }
  return fd;
}

std::string Exchange(unsigned short port, const std::string& bytes, const std::string& from) {
  std::string reply;
  int fd = ConnectFrom(port, from);
  if (fd < 0) return reply;
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

RawConnection::~RawConnection() {
  if (fd_ >= 0) close(fd_);
}

bool RawConnection::Send(const std::string& bytes) {
  return send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
}

std::string RawConnection::Receive(std::chrono::milliseconds wait) {
  timeval tv{static_cast<time_t>(wait.count() / 1000), static_cast<suseconds_t>(wait.count() % 1000 * 1000)};
  setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  char buf[16384];
  ssize_t n = recv(fd_, buf, sizeof buf, 0);
  if (n == 0 || (n < 0 && errno == ECONNRESET)) closed_ = true;
  return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

std::string RawConnection::ReceiveAll(std::chrono::milliseconds wait) {
  auto end = std::chrono::steady_clock::now() + wait;
  std::string got;
  while (!closed_) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    got += Receive(left);
  }
  return got;
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
