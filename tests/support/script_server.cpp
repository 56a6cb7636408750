#include "support/script_server.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "platform/net.h"

namespace testing_support {
namespace sockets = platform::sockets;
namespace {

// A receive that failed only because nothing had come yet.
bool NothingYet() {
  int e = sockets::LastError();
  return e == platform::wsa::kWouldBlock || e == platform::wsa::kInterrupted;
}

}  // namespace

bool ServerConnection::WaitFor(bool write, int timeout_ms) {
  std::vector<sockets::PollItem> items(2);
  items[0].socket = fd_;
  items[0].want_read = !write;
  items[0].want_write = write;
  items[1].socket = server_.stop_.Handle();
  items[1].want_read = true;
  return sockets::Poll(items, timeout_ms) && !items[1].readable;
}

std::string ServerConnection::ReadRequest() {
  std::string request;
  while (request.find("\r\n\r\n") == std::string::npos) {
    if (!WaitFor(false, -1)) break;
    char buffer[4096];
    int n = sockets::Receive(fd_, buffer, sizeof buffer, false);
    if (n < 0 && NothingYet()) continue;
    if (n <= 0) break;
    request.append(buffer, static_cast<std::size_t>(n));
  }
  std::lock_guard lock(server_.mutex_);
  server_.requests_.push_back(request);
  return request;
}

bool ServerConnection::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    if (!WaitFor(true, -1)) return false;
    int n = sockets::Send(fd_, bytes.data(), static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 20)));
    if (n < 0 && NothingYet()) continue;
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
  std::vector<sockets::PollItem> stop(1);
  stop[0].socket = server_.stop_.Handle();
  stop[0].want_read = true;
  sockets::Poll(stop, ms);
}

void ServerConnection::Reset() {
  sockets::SetAbortiveClose(fd_);
  reset_ = true;
}

void ServerConnection::WaitForPeerClose() {
  for (;;) {
    if (!WaitFor(false, -1)) return;
    char buffer[4096];
    int n = sockets::Receive(fd_, buffer, sizeof buffer, false);
    if (n < 0 && NothingYet()) continue;
    if (n <= 0) return;
  }
}

ScriptServer::ScriptServer(std::vector<ServerScript> scripts, const char* address, std::uint16_t port)
    : scripts_(std::move(scripts)) {
  sockets::Startup();
  std::uint32_t a = 0;
  if (stop_.Handle() < 0 || !sockets::ParseDottedAddress(address, a) ||
      (listen_fd_ = sockets::Listen(a, port, port_)) < 0) {
    sockets::Cleanup();
    throw std::runtime_error("test server cannot listen");
  }
  thread_ = std::thread([this] { Run(); });
}

ScriptServer::~ScriptServer() {
  // The thread sees it in its next wait, or in the one it is in.
  stop_.Wake();
  thread_.join();
  sockets::Close(listen_fd_);
  sockets::Cleanup();
}

std::vector<std::string> ScriptServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void ScriptServer::Run() {
  for (;;) {
    std::vector<sockets::PollItem> items(2);
    items[0].socket = listen_fd_;
    items[0].want_read = true;
    items[1].socket = stop_.Handle();
    items[1].want_read = true;
    if (!sockets::Poll(items, -1) || items[1].readable) return;
    int fd = sockets::Accept(listen_fd_);
    if (fd < 0) continue;
    int index = connections_++;
    ServerConnection connection(*this, fd);
    if (!scripts_.empty()) scripts_[std::min<std::size_t>(static_cast<std::size_t>(index), scripts_.size() - 1)](connection);
    if (!connection.reset_) sockets::ShutdownSend(fd);
    sockets::Close(fd);
  }
}

ServerScript Reply(std::string reply) {
  return [reply](ServerConnection& c) {
    c.ReadRequest();
    c.Send(reply);
  };
}

std::uint16_t UnusedPort() {
  sockets::Startup();
  std::uint32_t loopback = 0;
  sockets::ParseDottedAddress("127.0.0.1", loopback);
  std::uint16_t port = 0;
  int s = sockets::Listen(loopback, 0, port);
  if (s >= 0) sockets::Close(s);
  sockets::Cleanup();
  return port;
}

std::unique_ptr<ScriptServer> ListenWhenFree(std::uint16_t port, ServerScript script) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  for (;;) {
    try {
      return std::make_unique<ScriptServer>(std::vector<ServerScript>{script}, "127.0.0.1", port);
    } catch (const std::runtime_error&) {
      if (std::chrono::steady_clock::now() > give_up) throw;
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
  }
}

ServerScript AcceptEntry() {
  return [](ServerConnection& c) {
    c.ReadRequest();
    c.Send("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html>entered</html>");
  };
}

}  // namespace testing_support
