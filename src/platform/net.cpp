#include "platform/net.h"

#include <algorithm>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/sockets.h"

namespace platform {

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
  sockets::Waker waker;
};

Network::Network() : resolver_(SystemResolve) {
  sockets::Startup();
  lookups_ = std::make_shared<LookupQueue>();
}

Network::~Network() {
  for (auto& [handle, record] : sockets_) sockets::Close(record.fd);
  lookups_.reset();
  sockets::Cleanup();
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
  int fd = sockets::OpenTcp();
  if (fd < 0) {
    last_error_ = sockets::LastError();
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
  if (!sockets::SetAbortiveClose(r->fd)) return Fail(sockets::LastError());
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
  if (sockets::Connect(r->fd, address, port) == 0) {
    // Done at once (possible on loopback); the notice still tells it, as it always does.
    r->state = State::Connected;
    Post(*r, kNoticeConnect, 0);
    return true;
  }
  int e = sockets::LastError();
  if (e == wsa::kWouldBlock) r->state = State::Connecting;
  return Fail(e);
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
  int n = sockets::Send(r->fd, data, length);
  if (n < 0) {
    last_error_ = sockets::LastError();
    return -1;
  }
  return static_cast<int>(n);
}

int Network::Receive(int socket, void* data, int length, bool peek) {
  // Asking for data is what lets the next data-to-read notice come.
  if (SocketRecord* any = Find(socket)) any->read_armed = true;
  SocketRecord* r = FindConnected(socket, length);
  if (!r) return -1;
  int n = sockets::Receive(r->fd, data, length, peek);
  if (n < 0) {
    last_error_ = sockets::LastError();
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
  if (!sockets::Close(fd)) return Fail(sockets::LastError());
  return true;
}

bool Network::ParseDottedAddress(std::string_view text, std::uint32_t& address) {
  std::string copy(text);
  return sockets::ParseDottedAddress(copy.c_str(), address);
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
      queue->waker.Wake();
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
  std::vector<sockets::PollItem> items;
  for (auto& [handle, r] : sockets_) {
    sockets::PollItem item;
    item.socket = r.fd;
    if (r.state == State::Connecting) {
      item.want_write = true;
    } else if (r.state == State::Connected) {
      item.want_read = r.read_armed && (r.mask & kNoticeRead);
    } else {
      continue;
    }
    items.push_back(item);
  }
  if (!notices_.empty()) timeout_ms = 0;
  // Without sockets to watch and without waiting, the lookups' queue is all there is to see.
  if (!items.empty() || timeout_ms > 0) {
    sockets::PollItem wake;
    wake.socket = lookups_->waker.Handle();
    wake.want_read = true;
    items.push_back(wake);
    if (!sockets::Poll(items, timeout_ms)) items.clear();
  }
  if (!items.empty()) {
    // Clear the wake-up before taking the answers, so an answer that comes meanwhile wakes the
    // next wait.
    if (items.back().readable) lookups_->waker.Drain();
    for (std::size_t i = 0; i + 1 < items.size(); ++i) {
      const sockets::PollItem& item = items[i];
      if (!(item.readable || item.writable || item.hangup || item.error)) continue;
      SocketRecord& r = sockets_[item.socket];
      if (r.state == State::Connecting) {
        int err = sockets::TakeSocketError(r.fd);
        r.state = err == 0 ? State::Connected : State::Idle;
        Post(r, kNoticeConnect, err);
        continue;
      }
      if (item.readable && r.read_armed) {
        // End of stream alone is no data to read.
        char byte;
        if (sockets::Receive(r.fd, &byte, 1, true) == 1) {
          r.read_armed = false;
          Post(r, kNoticeRead, 0);
        }
      }
      if (item.hangup || item.error) {
        int err = 0;
        if (item.error) {
          // Reading the error clears it; the socket's next call still reports it.
          err = sockets::TakeSocketError(r.fd);
          r.pending_error = err;
          if (!err) err = wsa::kConnectionReset;
        }
        r.state = State::PeerClosed;
        Post(r, kNoticeClose, err);
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

void Network::Wake() { lookups_->waker.Wake(); }

}  // namespace platform
