#include "platform/net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace platform {

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
  for (addrinfo* ai = result; ai; ai = ai->ai_next) {
    if (ai->ai_family == AF_INET && ai->ai_addrlen >= sizeof(sockaddr_in))
      addresses.push_back(reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr);
  }
  freeaddrinfo(result);
  return addresses.empty() ? wsa::kNoData : 0;
}

// Answers of lookups, handed from their helper threads to the user-interface thread. It
// outlives the Network when a lookup is still running as the program ends.
struct Network::LookupQueue {
  struct Answer {
    int handle;
    int error;
    std::vector<std::uint32_t> addresses;
  };
  std::mutex mutex;
  std::vector<Answer> answers;
  int wake_fd = -1;

  LookupQueue() : wake_fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
  ~LookupQueue() {
    if (wake_fd >= 0) close(wake_fd);
  }
  void Wake() const {
    std::uint64_t one = 1;
    if (wake_fd >= 0 && write(wake_fd, &one, sizeof one) < 0) {
      // Already due to wake: the counter is full.
    }
  }
  void Drain() const {
    std::uint64_t count;
    if (wake_fd >= 0 && read(wake_fd, &count, sizeof count) < 0) {
      // Nothing was due.
    }
  }
};

Network::Network() : lookups_(std::make_shared<LookupQueue>()), resolver_(SystemResolve) {}

Network::~Network() {
  for (auto& [handle, record] : sockets_) close(record.fd);
}

bool Network::Fail(int error) {
  last_error_ = error;
  return false;
}

Network::SocketRecord* Network::Find(int socket) {
  auto it = sockets_.find(socket);
  if (it == sockets_.end()) {
    last_error_ = wsa::kNotSocket;
    return nullptr;
  }
  return &it->second;
}

int Network::OpenSocket() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) {
    last_error_ = WsaError(errno);
    return kNoSocket;
  }
  SocketRecord record;
  record.fd = fd;
  sockets_[fd] = record;
  return fd;
}

bool Network::SetAbortiveClose(int socket) {
  SocketRecord* r = Find(socket);
  if (!r) return false;
  linger lg{1, 0};
  if (setsockopt(r->fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg) != 0) return Fail(WsaError(errno));
  return true;
}

bool Network::AsyncSelect(int socket, std::uint32_t window, std::uint32_t message, unsigned mask) {
  SocketRecord* r = Find(socket);
  if (!r) return false;
  r->window = window;
  r->message = message;
  r->mask = mask;
  return true;
}

bool Network::Connect(int socket, std::uint32_t address, std::uint16_t port) {
  SocketRecord* r = Find(socket);
  if (!r) return false;
  if (r->state != State::Idle) return Fail(r->state == State::Connecting ? 10037 : 10056);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = address;
  if (connect(r->fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) {
    // Done at once (possible on loopback); the notice still tells it, as it always does.
    r->state = State::Connected;
    Post(*r, kNoticeConnect, 0);
    return true;
  }
  int e = errno;
  if (e == EINPROGRESS) r->state = State::Connecting;
  return Fail(WsaError(e));
}

Network::SocketRecord* Network::FindConnected(int socket, int length) {
  SocketRecord* r = Find(socket);
  if (!r) return nullptr;
  if (length < 0) {
    Fail(10022);
    return nullptr;
  }
  if (r->state == State::Idle || r->state == State::Connecting) {
    Fail(wsa::kNotConnected);
    return nullptr;
  }
  return r;
}

int Network::Send(int socket, const void* data, int length) {
  SocketRecord* r = FindConnected(socket, length);
  if (!r) return -1;
  if (r->pending_error) {
    last_error_ = std::exchange(r->pending_error, 0);
    return -1;
  }
  ssize_t n = send(r->fd, data, static_cast<std::size_t>(length), MSG_NOSIGNAL);
  if (n < 0) {
    last_error_ = WsaError(errno);
    return -1;
  }
  return static_cast<int>(n);
}

int Network::Receive(int socket, void* data, int length, bool peek) {
  // Asking for data is what lets the next data-to-read notice come.
  if (SocketRecord* any = Find(socket)) any->read_armed = true;
  SocketRecord* r = FindConnected(socket, length);
  if (!r) return -1;
  ssize_t n = recv(r->fd, data, static_cast<std::size_t>(length), peek ? MSG_PEEK : 0);
  if (n < 0) {
    last_error_ = WsaError(errno);
    return -1;
  }
  // An error the notices took from the socket comes after the data, where the system puts it.
  if (n == 0 && length > 0 && r->pending_error) {
    last_error_ = r->pending_error;
    if (!peek) r->pending_error = 0;
    return -1;
  }
  return static_cast<int>(n);
}

bool Network::Close(int socket) {
  SocketRecord* r = Find(socket);
  if (!r) return false;
  int fd = r->fd;
  sockets_.erase(socket);
  // Notices of a closed socket are never delivered: its number may soon name a new socket.
  std::erase_if(notices_, [socket](const Notice& n) { return n.socket == socket; });
  if (close(fd) != 0 && errno != EINTR) return Fail(WsaError(errno));
  return true;
}

bool Network::ParseDottedAddress(std::string_view text, std::uint32_t& address) {
  std::string copy(text);
  in_addr a{};
  if (inet_aton(copy.c_str(), &a) == 0) return false;
  address = a.s_addr;
  return true;
}

int Network::StartLookup(const std::string& name, std::uint32_t window, std::uint32_t message) {
  int handle = ++next_lookup_;
  if (next_lookup_ == INT32_MAX) next_lookup_ = 0;
  pending_lookups_[handle] = {window, message};
  try {
    std::thread([queue = lookups_, resolver = resolver_, name, handle] {
      LookupQueue::Answer answer{handle, 0, {}};
      answer.error = resolver(name, answer.addresses);
      {
        std::lock_guard lock(queue->mutex);
        queue->answers.push_back(std::move(answer));
      }
      queue->Wake();
    }).detach();
  } catch (const std::system_error&) {
    pending_lookups_.erase(handle);
    last_error_ = wsa::kNoBufferSpace;
    return 0;
  }
  return handle;
}

std::vector<std::uint32_t> Network::TakeLookup(int handle) {
  std::vector<std::uint32_t> out;
  auto it = finished_lookups_.find(handle);
  if (it != finished_lookups_.end()) {
    out = std::move(it->second);
    finished_lookups_.erase(it);
  }
  return out;
}

void Network::CancelLookup(int handle) {
  pending_lookups_.erase(handle);
  finished_lookups_.erase(handle);
}

void Network::SetResolver(HostResolver resolver) { resolver_ = resolver ? std::move(resolver) : SystemResolve; }

bool Network::Busy() const {
  if (!notices_.empty() || !pending_lookups_.empty()) return true;
  for (const auto& [handle, r] : sockets_)
    if (r.state == State::Connecting || r.state == State::Connected) return true;
  return false;
}

void Network::CollectLookups() {
  std::vector<LookupQueue::Answer> answers;
  {
    std::lock_guard lock(lookups_->mutex);
    answers.swap(lookups_->answers);
  }
  for (auto& a : answers) {
    auto it = pending_lookups_.find(a.handle);
    if (it == pending_lookups_.end()) continue;  // canceled
    Event e;
    e.type = EventType::User;
    e.window = it->second.window;
    e.code = it->second.message;
    e.param1 = a.handle;
    e.param2 = static_cast<std::intptr_t>(static_cast<std::uint32_t>(a.error & 0xFFFF) << 16);
    pending_lookups_.erase(it);
    finished_lookups_[a.handle] = std::move(a.addresses);
    notices_.push_back({e, kNoSocket});
  }
}

void Network::Post(const SocketRecord& record, unsigned kind, int error) {
  if (!(record.mask & kind)) return;
  Event e;
  e.type = EventType::User;
  e.window = record.window;
  e.code = record.message;
  e.param1 = record.fd;
  e.param2 = static_cast<std::intptr_t>(kind | (static_cast<std::uint32_t>(error & 0xFFFF) << 16));
  notices_.push_back({e, record.fd});
}

void Network::Scan(int timeout_ms) {
  std::vector<pollfd> fds;
  for (auto& [handle, r] : sockets_) {
    short events = 0;
    if (r.state == State::Connecting) {
      events = POLLOUT;
    } else if (r.state == State::Connected) {
      if (r.read_armed && (r.mask & kNoticeRead)) events |= POLLIN;
      events |= POLLRDHUP;
    } else {
      continue;
    }
    fds.push_back({r.fd, events, 0});
  }
  if (!notices_.empty()) timeout_ms = 0;
  // Without sockets to watch and without waiting, the lookups' queue is all there is to see.
  if (!fds.empty() || timeout_ms > 0) {
    fds.push_back({lookups_->wake_fd, POLLIN, 0});
    if (poll(fds.data(), fds.size(), timeout_ms) <= 0) fds.clear();
  }
  if (!fds.empty()) {
    // Clear the wake-up before taking the answers, so an answer that comes meanwhile wakes the
    // next wait.
    if (fds.back().revents) lookups_->Drain();
    for (std::size_t i = 0; i + 1 < fds.size(); ++i) {
      if (!fds[i].revents) continue;
      SocketRecord& r = sockets_[fds[i].fd];
      if (r.state == State::Connecting) {
        int err = 0;
        socklen_t len = sizeof err;
        getsockopt(r.fd, SOL_SOCKET, SO_ERROR, &err, &len);
        r.state = err == 0 ? State::Connected : State::Idle;
        Post(r, kNoticeConnect, err == 0 ? 0 : WsaError(err));
        continue;
      }
      short rev = fds[i].revents;
      if ((rev & POLLIN) && r.read_armed) {
        // End of stream alone is no data to read.
        char byte;
        if (recv(r.fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 1) {
          r.read_armed = false;
          Post(r, kNoticeRead, 0);
        }
      }
      if (rev & (POLLRDHUP | POLLHUP | POLLERR)) {
        int err = 0;
        if (rev & POLLERR) {
          socklen_t len = sizeof err;
          getsockopt(r.fd, SOL_SOCKET, SO_ERROR, &err, &len);
          // Reading the error clears it; the socket's next call still reports it.
          r.pending_error = err ? WsaError(err) : 0;
          if (!err) err = ECONNRESET;
        }
        r.state = State::PeerClosed;
        Post(r, kNoticeClose, err ? WsaError(err) : 0);
      }
    }
  }
  CollectLookups();
}

bool Network::NextNotice(Event& event) {
  if (notices_.empty()) {
    if (sockets_.empty() && pending_lookups_.empty()) return false;
    Scan(0);
  }
  if (notices_.empty()) return false;
  event = std::move(notices_.front().event);
  notices_.pop_front();
  return true;
}

bool Network::WaitActivity(std::uint32_t timeout_ms) {
  if (notices_.empty()) {
    // A notice found while waiting is kept for NextNotice.
    Scan(static_cast<int>(std::min<std::uint32_t>(timeout_ms, 1u << 30)));
  }
  return !notices_.empty();
}

void Network::Wake() { lookups_->Wake(); }

}  // namespace platform
