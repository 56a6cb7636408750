#pragma once
// TCP sockets for the ranking client, with Windows Sockets' asynchronous-notice model: every
// socket is non-blocking, a host-name lookup runs aside, and what happens on the network (lookup
// done, connect done or failed, data to read, peer closed) arrives as events on the
// user-interface thread, read by the platform's PollEvent like any other event. Failures carry
// the Windows Sockets error numbers, which the component's messages are keyed by.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace platform {

// Windows Sockets error numbers that the program acts on.
namespace wsa {
inline constexpr int kInterrupted = 10004;
inline constexpr int kNotSocket = 10038;
inline constexpr int kWouldBlock = 10035;
inline constexpr int kNoBufferSpace = 10055;
inline constexpr int kNotConnected = 10057;
inline constexpr int kConnectionReset = 10054;
inline constexpr int kConnectionRefused = 10061;
inline constexpr int kHostNotFound = 11001;
inline constexpr int kTryAgain = 11002;
inline constexpr int kNoRecovery = 11003;
inline constexpr int kNoData = 11004;
}  // namespace wsa

// Notice kinds, as bits of a notice mask and as the low half of a notice's `param2`.
inline constexpr unsigned kNoticeRead = 1;
inline constexpr unsigned kNoticeConnect = 16;
inline constexpr unsigned kNoticeClose = 32;

// Socket handles are small non-negative numbers; this one is none.
inline constexpr int kNoSocket = -1;

// Answers a name with its IPv4 addresses (network byte order) or a Windows Sockets error
// number. Runs on a helper thread.
using HostResolver = std::function<int(const std::string& name, std::vector<std::uint32_t>& addresses)>;

// The system's name service (getaddrinfo, IPv4 only).
int SystemResolve(const std::string& name, std::vector<std::uint32_t>& addresses);

class Network {
 public:
  Network();
  ~Network();
  Network(const Network&) = delete;
  Network& operator=(const Network&) = delete;

  // The error number of the last call that failed, as the socket library reports it.
  int LastError() const { return last_error_; }

  // A new IPv4 TCP socket in non-blocking mode, or kNoSocket.
  int OpenSocket();
  // Closing the socket will reset the connection at once instead of finishing it gracefully.
  bool SetAbortiveClose(int socket);
  // From now on the socket's notices named in `mask` arrive as events of type User for
  // `window`, with `code` = `message`, `param1` = the socket and `param2` = the notice kind in
  // the low 16 bits and the error number (0 for none) in the high 16 bits.
  bool AsyncSelect(int socket, std::uint32_t window, std::uint32_t message, unsigned mask);
  // Starts connecting to an IPv4 address (network byte order) and port. A true start fails
  // with kWouldBlock; the connect notice tells how it ended.
  bool Connect(int socket, std::uint32_t address, std::uint16_t port);
  // Bytes sent (possibly fewer than asked), or -1.
  int Send(int socket, const void* data, int length);
  // Bytes received, 0 when the peer has closed, or -1 (kWouldBlock when nothing is waiting).
  // A peek leaves the bytes waiting.
  int Receive(int socket, void* data, int length, bool peek);
  bool Close(int socket);

  // A dotted IPv4 address ("127.0.0.1"), in network byte order.
  static bool ParseDottedAddress(std::string_view text, std::uint32_t& address);

  // Starts looking `name` up aside. When it has finished an event of type User arrives for
  // `window` with `code` = `message`, `param1` = the returned handle and `param2` = the error
  // number (0 for success) in its high 16 bits. Returns 0 with LastError set when it cannot
  // start.
  int StartLookup(const std::string& name, std::uint32_t window, std::uint32_t message);
  // The addresses a finished lookup found (network byte order); forgets the lookup.
  std::vector<std::uint32_t> TakeLookup(int handle);
  // Forgets a lookup; its answer, if it ever comes, is dropped.
  void CancelLookup(int handle);
  // Replaces the name service for later lookups (tests answer from a table of their own).
  void SetResolver(HostResolver resolver);

  // --- For the backends ---
  // True while a notice may still come: a lookup runs, a socket connects or is connected.
  bool Busy() const;
  // Takes the next due notice, looking at the sockets without waiting.
  bool NextNotice(Event& event);
  // Waits until a notice is due, Wake is called, or `timeout_ms` has passed. True when a
  // notice is due.
  bool WaitActivity(std::uint32_t timeout_ms);
  // Ends a WaitActivity early; may be called from any thread.
  void Wake();

 private:
  enum class State { Idle, Connecting, Connected, PeerClosed };
  struct SocketRecord {
    int fd = -1;
    State state = State::Idle;
    std::uint32_t window = 0, message = 0;
    unsigned mask = 0;
    bool read_armed = true;
    int pending_error = 0;  // an error taken from the socket that its next call reports
  };
  struct LookupQueue;
  struct Notice {
    Event event;
    int socket;  // kNoSocket for a lookup's
  };
  struct PendingLookup {
    std::uint32_t window, message;
  };

  SocketRecord* Find(int socket);
  // The record of a socket that can send and receive `length` bytes, or null with the error set.
  SocketRecord* FindConnected(int socket, int length);
  bool Fail(int error);
  void Scan(int timeout_ms);
  void CollectLookups();
  void Post(const SocketRecord& record, unsigned kind, int error);

  int last_error_ = 0;
  std::map<int, SocketRecord> sockets_;
  std::deque<Notice> notices_;
  std::shared_ptr<LookupQueue> lookups_;
  std::map<int, PendingLookup> pending_lookups_;
  std::map<int, std::vector<std::uint32_t>> finished_lookups_;
  int next_lookup_ = 0;
  HostResolver resolver_;
};

}  // namespace platform
