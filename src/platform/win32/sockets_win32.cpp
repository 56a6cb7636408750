// Winsock, the socket library the game was written for: its error numbers are the program's own.
// The program's headers come first: windows.h makes macros of names they use.
#include "platform/net.h"
#include "platform/sockets.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>

#include "platform/address_list.h"

namespace platform::sockets {
namespace {

std::atomic<int> users{0};

SOCKET Native(int socket) { return static_cast<SOCKET>(static_cast<unsigned>(socket)); }

}  // namespace

void Startup() {
  if (users++ == 0) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
}

void Cleanup() {
  if (--users == 0) WSACleanup();
}

int OpenTcp() {
  SOCKET s = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) return -1;
  u_long on = 1;
  if (ioctlsocket(s, FIONBIO, &on) != 0) {
    int e = WSAGetLastError();
    closesocket(s);
    WSASetLastError(e);
    return -1;
  }
  // Kernel handles keep to 32 bits, so a socket fits the program's int handles.
  return static_cast<int>(s);
}

int LastError() { return WSAGetLastError(); }

int TakeSocketError(int socket) {
  int err = 0;
  int len = sizeof err;
  if (getsockopt(Native(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0) return 0;
  return err;
}

bool Close(int socket) { return closesocket(Native(socket)) == 0; }

bool SetAbortiveClose(int socket) {
  linger lg{1, 0};
  return setsockopt(Native(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&lg), sizeof lg) == 0;
}

int Connect(int socket, std::uint32_t address, std::uint16_t port) {
  const sockaddr_in to = IPv4SocketAddress(address, port);
  return connect(Native(socket), reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 ? 0 : -1;
}

int Send(int socket, const void* data, int length) {
  return send(Native(socket), static_cast<const char*>(data), length, 0);
}

int Receive(int socket, void* data, int length, bool peek) {
  return recv(Native(socket), static_cast<char*>(data), length, peek ? MSG_PEEK : 0);
}

bool ParseDottedAddress(const char* text, std::uint32_t& address) {
  // inet_addr takes the same forms as inet_aton ("127.1", hex and octal parts) but cannot tell
  // the broadcast address from a failure.
  unsigned long a = inet_addr(text);
  if (a == INADDR_NONE) {
    in_addr full{};
    if (InetPtonA(AF_INET, text, &full) != 1) return false;
    a = full.s_addr;
  }
  address = static_cast<std::uint32_t>(a);
  return true;
}

int Listen(std::uint32_t address, std::uint16_t port, std::uint16_t& bound_port) {
  int s = OpenTcp();
  if (s < 0) return -1;
  sockaddr_in a = IPv4SocketAddress(address, port);
  int len = sizeof a;
  // No SO_REUSEADDR: here it would let a second socket take a port that is listened on.
  if (bind(Native(s), reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 || listen(Native(s), 16) != 0 ||
      getsockname(Native(s), reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    int e = WSAGetLastError();
    closesocket(Native(s));
    WSASetLastError(e);
    return -1;
  }
  bound_port = ntohs(a.sin_port);
  return s;
}

int Accept(int listener) {
  // The new socket takes the listener's non-blocking mode; not its inheritance, which is a
  // property of the handle.
  SOCKET s = accept(Native(listener), nullptr, nullptr);
  if (s == INVALID_SOCKET) return -1;
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  u_long on = 1;
  ioctlsocket(s, FIONBIO, &on);
  return static_cast<int>(s);
}

bool ShutdownSend(int socket) { return shutdown(Native(socket), SD_SEND) == 0; }

bool Poll(std::vector<PollItem>& items, int timeout_ms) {
  // select, not WSAPoll: WSAPoll does not report a refused connect on older Windows.
  fd_set reads, writes, errors;
  FD_ZERO(&reads);
  FD_ZERO(&writes);
  FD_ZERO(&errors);
  for (const PollItem& item : items) {
    if (item.want_read) FD_SET(Native(item.socket), &reads);
    if (item.want_write) FD_SET(Native(item.socket), &writes);
    FD_SET(Native(item.socket), &errors);
  }
  timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  if (items.empty()) {
    Sleep(timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms));
    return false;
  }
  if (select(0, &reads, &writes, &errors, timeout_ms < 0 ? nullptr : &tv) <= 0) return false;
  for (PollItem& item : items) {
    SOCKET s = Native(item.socket);
    item.readable = FD_ISSET(s, &reads);
    item.writable = FD_ISSET(s, &writes);
    item.error = FD_ISSET(s, &errors);
    item.hangup = false;
    if (item.readable && !item.want_write) {
      // Readable with nothing to read is the peer's close (or a reset, which recv reports).
      char byte;
      int n = recv(s, &byte, 1, MSG_PEEK);
      if (n == 0) item.hangup = true;
      if (n < 0 && WSAGetLastError() != WSAEWOULDBLOCK) item.hangup = item.error = true;
    }
  }
  return true;
}

// A datagram socket sending to itself on the loopback: a wake-up that select can wait for.
Waker::Waker() {
  Startup();
  SOCKET s = WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) return;
  sockaddr_in self{};
  self.sin_family = AF_INET;
  self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int len = sizeof self;
  u_long on = 1;
  if (bind(s, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&self), &len) != 0 ||
      connect(s, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0 || ioctlsocket(s, FIONBIO, &on) != 0) {
    closesocket(s);
    return;
  }
  handle_ = static_cast<int>(s);
}

Waker::~Waker() {
  if (handle_ >= 0) closesocket(Native(handle_));
  Cleanup();
}

void Waker::Wake() const {
  char one = 1;
  if (handle_ >= 0) send(Native(handle_), &one, 1, 0);
}

void Waker::Drain() const {
  char buf[64];
  while (handle_ >= 0 && recv(Native(handle_), buf, sizeof buf, 0) > 0) {
  }
}

}  // namespace platform::sockets

namespace platform {

int SystemResolve(const std::string& name, std::vector<std::uint32_t>& addresses) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  // Winsock's lookup answers with the socket library's own error numbers.
  int rc = getaddrinfo(name.c_str(), nullptr, &hints, &result);
  if (rc != 0) return rc == WSA_NOT_ENOUGH_MEMORY ? wsa::kNoRecovery : rc;
  sockets::CollectIPv4(result, addresses);
  freeaddrinfo(result);
  return addresses.empty() ? wsa::kNoData : 0;
}

}  // namespace platform
