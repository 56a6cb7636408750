#pragma once
// A TCP server on 127.0.0.1 for network tests: each connection it accepts plays a script that
// the test writes (read the request, send bytes, pause, close, reset, go silent), on a thread of
// the server's own, while the test drives the client on its thread.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/sockets.h"

namespace testing_support {

class ScriptServer;

class ServerConnection {
 public:
  ServerConnection(ScriptServer& server, int fd) : server_(server), fd_(fd) {}
  // Reads up to and including the empty line that ends a request header; what came when the
  // peer closed first.
  std::string ReadRequest();
  // False once the peer has gone (or the server stops).
  bool Send(std::string_view bytes);
  // One byte at a time, with a pause between.
  bool SendSlowly(std::string_view bytes, int pause_ms);
  void Pause(int ms);
  // Ends the connection with a reset instead of a graceful close.
  void Reset();
  // Waits until the peer closes (or the server stops).
  void WaitForPeerClose();

 private:
  // Waits for the socket to be ready to read (or to write); false when the server stops.
  bool WaitFor(bool write, int timeout_ms);
  ScriptServer& server_;
  int fd_;
  bool reset_ = false;
  friend class ScriptServer;
};

using ServerScript = std::function<void(ServerConnection&)>;

class ScriptServer {
 public:
  // Listens on `address` (127.0.0.1 by default) on `port`, or on a free port when it is 0; throws
  // std::runtime_error when it cannot. The n-th connection plays the n-th script; the last
  // script plays for every later one.
  explicit ScriptServer(std::vector<ServerScript> scripts, const char* address = "127.0.0.1",
                        std::uint16_t port = 0);
  ~ScriptServer();
  ScriptServer(const ScriptServer&) = delete;
  ScriptServer& operator=(const ScriptServer&) = delete;

  std::uint16_t Port() const { return port_; }
  int Connections() const { return connections_; }
  // What ReadRequest read on each connection, in order.
  std::vector<std::string> Requests() const;

 private:
  void Run();

  std::vector<ServerScript> scripts_;
  // Set once, when the server stops; every wait of the server looks at it.
  platform::sockets::Waker stop_;
  int listen_fd_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
  friend class ServerConnection;
};

// Reads the request, sends `reply` and closes.
ServerScript Reply(std::string reply);

// A port on 127.0.0.1 where nothing listens.
std::uint16_t UnusedPort();

// A server on 127.0.0.1 at a fixed `port` (one built into a copy of the program), playing
// `script` on every connection, once the port is free: another run of the same test, in another
// build tree, may hold it for a moment. Throws std::runtime_error when it stays taken for two
// minutes.
std::unique_ptr<ScriptServer> ListenWhenFree(std::uint16_t port, ServerScript script);
// A ranking server that takes an entry: reads the request and answers 200 with a page.
ServerScript AcceptEntry();

}  // namespace testing_support
