#pragma once
// The few socket calls the network layer makes, over the system's own socket library (BSD sockets
// on Linux, Winsock on Windows). Handles are small non-negative numbers; errors are Windows
// Sockets error numbers on every system.
#include <cstdint>
#include <vector>

namespace platform::sockets {

// Starts the socket library for one user; each Startup is matched by a Cleanup.
void Startup();
void Cleanup();

// A new IPv4 TCP socket in non-blocking mode, not inherited by child processes; -1 on failure.
int OpenTcp();
// The error number of the calling thread's last failed call.
int LastError();
// A pending error of the socket (a failed connect, a reset), taken from it; 0 for none.
int TakeSocketError(int socket);
bool Close(int socket);
bool SetAbortiveClose(int socket);
// 0 when connected at once, else -1 (kWouldBlock while the connect goes on).
int Connect(int socket, std::uint32_t address, std::uint16_t port);
int Send(int socket, const void* data, int length);
int Receive(int socket, void* data, int length, bool peek);
bool ParseDottedAddress(const char* text, std::uint32_t& address);

// A non-blocking socket listening on an IPv4 address (network byte order) and `port`, or on a
// free port when it is 0; `bound_port` is the port it took. -1 on failure.
int Listen(std::uint32_t address, std::uint16_t port, std::uint16_t& bound_port);
// The next connection waiting on a listening socket, non-blocking and not inherited by child
// processes; -1 on failure (kWouldBlock when none is waiting).
int Accept(int listener);
// Ends sending: the peer reads the end of the stream, and can still send.
bool ShutdownSend(int socket);

struct PollItem {
  int socket = -1;
  bool want_read = false, want_write = false;
  // Out: data or end of stream to read, writable (a connect has ended), the peer closed, an error.
  bool readable = false, writable = false, hangup = false, error = false;
};
// Waits up to `timeout_ms` (0: just looks, below 0: no limit) for the items. The peer's close is
// seen at least while reading is wanted. False when nothing happened.
bool Poll(std::vector<PollItem>& items, int timeout_ms);

// Ends a Poll on another thread: its handle is polled for reading like a socket.
class Waker {
 public:
  Waker();
  ~Waker();
  Waker(const Waker&) = delete;
  Waker& operator=(const Waker&) = delete;
  int Handle() const { return handle_; }
  void Wake() const;
  void Drain() const;

 private:
  int handle_ = -1;
};

}  // namespace platform::sockets
