#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/address_list.h"
#include "platform/net.h"
#include "platform/sockets.h"

namespace platform::sockets {
namespace {

// The socket library's numbers for the system's error codes.
int WsaError(int e) {
  switch (e) {
    case EINTR: return wsa::kInterrupted;
    case EBADF: return 10009;
    case EACCES: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE: case ENFILE: return 10024;
    case EAGAIN: return wsa::kWouldBlock;
    // A connect that has started is "would block" to the socket library.
    case EINPROGRESS: return wsa::kWouldBlock;
    case EALREADY: return 10037;
    case ENOTSOCK: return wsa::kNotSocket;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case ESOCKTNOSUPPORT: return 10044;
    case EOPNOTSUPP: return 10045;
    case EPFNOSUPPORT: return 10046;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case ECONNRESET: case EPIPE: return wsa::kConnectionReset;
    case ENOBUFS: case ENOMEM: return wsa::kNoBufferSpace;
    case EISCONN: return 10056;
    case ENOTCONN: return wsa::kNotConnected;
    case ESHUTDOWN: return 10058;
    case ETOOMANYREFS: return 10059;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return wsa::kConnectionRefused;
    case ELOOP: return 10062;
    case ENAMETOOLONG: return 10063;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    case ENOTEMPTY: return 10066;
    case EUSERS: return 10068;
    case EDQUOT: return 10069;
    case ESTALE: return 10070;
    case EREMOTE: return 10071;
    default: return 10000 + e;
  }
}

}  // namespace

void Startup() {}
void Cleanup() {}

int OpenTcp() { return socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP); }

int LastError() { return WsaError(errno); }

int TakeSocketError(int socket) {
  int err = 0;
  socklen_t len = sizeof err;
  if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return 0;
  return err ? WsaError(err) : 0;
}

bool Close(int socket) { return close(socket) == 0 || errno == EINTR; }

bool SetAbortiveClose(int socket) {
  linger lg{1, 0};
  return setsockopt(socket, SOL_SOCKET, SO_LINGER, &lg, sizeof lg) == 0;
}

int Connect(int socket, std::uint32_t address, std::uint16_t port) {
  const sockaddr_in to = IPv4SocketAddress(address, port);
  return connect(socket, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 ? 0 : -1;
}

int Send(int socket, const void* data, int length) {
  return static_cast<int>(send(socket, data, static_cast<std::size_t>(length), MSG_NOSIGNAL));
}

int Receive(int socket, void* data, int length, bool peek) {
  return static_cast<int>(recv(socket, data, static_cast<std::size_t>(length), peek ? MSG_PEEK | MSG_DONTWAIT : 0));
}

bool ParseDottedAddress(const char* text, std::uint32_t& address) {
  in_addr a{};
  if (inet_aton(text, &a) == 0) return false;
  address = a.s_addr;
  return true;
}

int Listen(std::uint32_t address, std::uint16_t port, std::uint16_t& bound_port) {
  int s = OpenTcp();
  if (s < 0) return -1;
  sockaddr_in a = IPv4SocketAddress(address, port);
  socklen_t len = sizeof a;
  // A fixed port is free again at once after an earlier run's connections.
  int one = 1;
  if ((port != 0 && setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0) ||
      bind(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 || listen(s, 16) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    int e = errno;
    close(s);
    errno = e;
    return -1;
  }
  bound_port = ntohs(a.sin_port);
  return s;
}

int Accept(int listener) { return accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC); }

bool ShutdownSend(int socket) { return shutdown(socket, SHUT_WR) == 0; }

bool Poll(std::vector<PollItem>& items, int timeout_ms) {
  std::vector<pollfd> fds;
  fds.reserve(items.size());
  for (const PollItem& item : items) {
    short events = 0;
    if (item.want_read) events |= POLLIN;
    if (item.want_write) events |= POLLOUT;
    else events |= POLLRDHUP;
    fds.push_back({item.socket, events, 0});
  }
  if (poll(fds.data(), fds.size(), timeout_ms) <= 0) return false;
  for (std::size_t i = 0; i < items.size(); ++i) {
    short rev = fds[i].revents;
    items[i].readable = rev & POLLIN;
    items[i].writable = rev & POLLOUT;
    items[i].hangup = rev & (POLLRDHUP | POLLHUP);
    items[i].error = rev & POLLERR;
  }
  return true;
}

Waker::Waker() : handle_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

Waker::~Waker() {
  if (handle_ >= 0) close(handle_);
}

void Waker::Wake() const {
  std::uint64_t one = 1;
  if (handle_ >= 0 && write(handle_, &one, sizeof one) < 0) {
    // Already due to wake: the counter is full.
  }
}

void Waker::Drain() const {
  std::uint64_t count;
  if (handle_ >= 0 && read(handle_, &count, sizeof count) < 0) {
    // Nothing was due.
  }
}

}  // namespace platform::sockets

namespace platform {

int SystemResolve(const std::string& name, std::vector<std::uint32_t>& addresses) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  int rc = getaddrinfo(name.c_str(), nullptr, &hints, &result);
  switch (rc) {
    case 0: break;
    case EAI_NONAME: return wsa::kHostNotFound;
    case EAI_AGAIN: return wsa::kTryAgain;
#ifdef EAI_NODATA
    case EAI_NODATA: return wsa::kNoData;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY: return wsa::kNoData;
#endif
    default: return wsa::kNoRecovery;
  }
  sockets::CollectIPv4(result, addresses);
  freeaddrinfo(result);
  return addresses.empty() ? wsa::kNoData : 0;
}

}  // namespace platform
