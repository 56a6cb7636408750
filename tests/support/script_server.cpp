#include "support/script_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace testing_support {

bool ServerConnection::WaitFor(short events, int timeout_ms) {
  pollfd fds[2] = {{fd_, events, 0}, {server_.stop_fd_, POLLIN, 0}};
  if (poll(fds, 2, timeout_ms) < 0) return false;
  return fds[1].revents == 0;
}

std::string ServerConnection::ReadRequest() {
  std::string request;
  while (request.find("\r\n\r\n") == std::string::npos) {
    if (!WaitFor(POLLIN, -1)) break;
    char buffer[4096];
    ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    request.append(buffer, static_cast<std::size_t>(n));
  }
  std::lock_guard lock(server_.mutex_);
  server_.requests_.push_back(request);
  return request;
}

bool ServerConnection::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    if (!WaitFor(POLLOUT, -1)) return false;
    ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool ServerConnection::SendSlowly(std::string_view bytes, int pause_ms) {
  for (char c : bytes) {
    if (!Send(std::string_view(&c, 1))) return false;
    Pause(pause_ms);
  }
  return true;
}

void ServerConnection::Pause(int ms) {
  pollfd stop{server_.stop_fd_, POLLIN, 0};
  poll(&stop, 1, ms);
}

void ServerConnection::Reset() {
  linger lg{1, 0};
  setsockopt(fd_, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
  reset_ = true;
}

void ServerConnection::WaitForPeerClose() {
  for (;;) {
    if (!WaitFor(POLLIN, -1)) return;
    char buffer[4096];
    if (recv(fd_, buffer, sizeof buffer, 0) <= 0) return;
  }
}

ScriptServer::ScriptServer(std::vector<ServerScript> scripts, const char* address, std::uint16_t port)
    : scripts_(std::move(scripts)) {
  listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  stop_fd_ = eventfd(0, EFD_CLOEXEC);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  inet_pton(AF_INET, address, &a.sin_addr);
  socklen_t len = sizeof a;
  // A fixed port is free again at once after an earlier run's connections.
  int one = 1;
  if (port != 0 && listen_fd_ >= 0) setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (listen_fd_ < 0 || stop_fd_ < 0 || bind(listen_fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      listen(listen_fd_, 16) != 0 || getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    if (listen_fd_ >= 0) close(listen_fd_);
    if (stop_fd_ >= 0) close(stop_fd_);
    throw std::runtime_error("test server cannot listen");
  }
  port_ = ntohs(a.sin_port);
  thread_ = std::thread([this] { Run(); });
}

ScriptServer::~ScriptServer() {
  std::uint64_t one = 1;
  if (write(stop_fd_, &one, sizeof one) < 0) {
    // The thread then ends with its next connection's first wait.
  }
  thread_.join();
  close(listen_fd_);
  close(stop_fd_);
}

std::vector<std::string> ScriptServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void ScriptServer::Run() {
  for (;;) {
    pollfd fds[2] = {{listen_fd_, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0 || fds[1].revents) return;
    int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    int index = connections_++;
    ServerConnection connection(*this, fd);
    if (!scripts_.empty()) scripts_[std::min<std::size_t>(static_cast<std::size_t>(index), scripts_.size() - 1)](connection);
    if (!connection.reset_) shutdown(fd, SHUT_WR);
    close(fd);
  }
}

ServerScript Reply(std::string reply) {
  return [reply](ServerConnection& c) {
    c.ReadRequest();
    c.Send(reply);
  };
}

std::uint16_t UnusedPort() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  close(fd);
  return ntohs(a.sin_port);
}

}  // namespace testing_support
