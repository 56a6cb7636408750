#include "ranking/psock.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <utility>

#include "app/application.h"
#include "platform/net.h"

namespace ranking {

namespace {

// Status report levels.
constexpr std::int32_t kStatusDebug = 8;
constexpr std::int32_t kStatusTrace = 4;

// The notices the component asks for: read, out-of-band data, accept, connect and close.
constexpr unsigned kNoticeMask = 61;

// How long a read that found nothing waiting rests before it looks again; a notice or any
// other message ends the rest at once.
constexpr std::uint32_t kIdleWaitMs = 2;
// The lookup and connect waits sleep this long per pass.
constexpr std::uint32_t kConnectSleepMs = 2;

struct SocketErrorName {
  int number;
  const char* text;
};

constexpr SocketErrorName kSocketErrors[] = {
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Wrong protocol type for socket"},
    {10042, "Bad protocol option"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Can't assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection or reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references, can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to Host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network subsystem is unavailable"},
    {10092, "Incompatible version of WINSOCK.DLL"},
    {10093, "Successful WSAStartup not yet performed"},
    {11001, "Host not found"},
    {11002, "Non-Authoritative Host not found"},
    {11003, "Non-Recoverable error: FORMERR, REFUSED, NOTIMP"},
    {11004, "Valid name, no data record of requested type"},
};

app::TApplication& RequireApplication() {
  if (!app::Application) throw ESockError("Initializaton of windows sockets failed");
  return *app::Application;
}

// Turns the timer off when a wait ends, however it ends.
class TimerOffGuard {
 public:
  explicit TimerOffGuard(TPowersock& sock) : sock_(sock) {}
  ~TimerOffGuard() { sock_.TimerOff(); }

 private:
  TPowersock& sock_;
};

}  // namespace

std::string SocketErrorText(int error) {
  for (const auto& e : kSocketErrors)
    if (e.number == error) return std::to_string(error) + ":" + e.text;
  return "Unknown Error No. " + std::to_string(error);
}

// --- TThreadTimer ---

TThreadTimer::TThreadTimer(app::TComponent* AOwner) : TComponent(AOwner), app_(app::Application) {}

TThreadTimer::~TThreadTimer() {
  if (timer_id_ && app_ == app::Application) app_->KillTimer(timer_id_);
}

void TThreadTimer::SetEnabled(bool value) {
  if (value == enabled_) return;
  enabled_ = value;
  UpdateTimer();
}

void TThreadTimer::SetInterval(std::uint32_t value) {
  if (value == interval_) return;
  interval_ = value;
  UpdateTimer();
}

void TThreadTimer::SetOnTimer(app::TNotifyEvent handler) {
  on_timer_ = std::move(handler);
  UpdateTimer();
}

void TThreadTimer::UpdateTimer() {
  if (timer_id_) {
    app_->KillTimer(timer_id_);
    timer_id_ = 0;
  }
  if (interval_ == 0 || !enabled_ || !on_timer_) return;
  if (!app_) throw app::Exception("No Timer");
  timer_id_ = app_->SetTimer(interval_, [this] {
    auto handler = on_timer_;
    if (handler) handler(this);
  });
  if (!timer_id_) throw app::Exception("No Timer");
}

// --- TPowersock ---

TPowersock::TPowersock(app::TComponent* AOwner)
    : TComponent(AOwner),
      app_(&RequireApplication()),
      net_(app_->Platform().Net()),
      io_buffer_(new char[kIOBufferSize + 1]()) {
  ReportStatus(kStatusDebug, "Create");
  notify_window_ = app_->AllocateHWnd([this](app::TMessage& m) { NotifyProc(m); });
  timer_ = new TThreadTimer(this);
  timer_->SetEnabled(false);
  timer_->SetOnTimer([this](app::TObject* Sender) { TimerTriggered(Sender); });
  ReportStatus(kStatusDebug, "Initializing Winsock");
  if (!OpenSocket(true)) {
    app_->DeallocateHWnd(notify_window_);
    throw ESockError("Initializaton of windows sockets failed");
  }
}

TPowersock::~TPowersock() {
  ReportStatus(kStatusDebug, "Destroy");
  Abort();
  Cancel();
  if (lookup_) net_.CancelLookup(std::exchange(lookup_, 0));
  app::Free(timer_);
  timer_ = nullptr;
  if (app_ == app::Application) app_->DeallocateHWnd(notify_window_);
  destroying_ = true;
  try {
    RequestCloseSocket();
  } catch (const std::exception&) {
    // Nothing is left to tell: the socket is gone either way.
  }
}

bool TPowersock::OpenSocket(bool abortive_close) {
  int s = net_.OpenSocket();
  if (s == platform::kNoSocket) return false;
  // The handle is kept in 16 bits, where the last value means none.
  bool ok = s < kNoSocket && (!abortive_close || net_.SetAbortiveClose(s)) &&
            net_.AsyncSelect(s, notify_window_, kSocketNotice, kNoticeMask);
  if (!ok) {
    net_.Close(s);
    return false;
  }
  socket_ = static_cast<std::uint16_t>(s);
  return true;
}

void TPowersock::ReportStatus(std::int32_t level, std::string_view text) {
  if (level > ReportLevel) return;
  status_ = text;
  if (destroying_ || !OnStatus) return;
  try {
    OnStatus(this, status_);
  } catch (const std::exception&) {
    // A status display must not break the transfer it reports on.
  }
}

void TPowersock::NotifyProc(app::TMessage& m) {
  try {
    if (m.Msg == kSocketNotice) {
      // Notices of an earlier socket of this component are stale.
      if (m.WParam != socket_) return;
      async_ok_ = ((m.LParam >> 16) & 0xFFFF) == 0;
      switch (m.LParam & 0xFFFF) {
        case platform::kNoticeConnect:
          if (async_ok_) {
            // The connect wait ends on this even when a close notice handled in the same pass
            // clears Connected again; what follows then meets the closed connection at once.
            lookup_done_ = true;
            connected_ = true;
            if (OnConnect) OnConnect(this);
          }
          break;
        case platform::kNoticeClose:
          // With data still waiting the reads take it first and then meet the end themselves.
          if (!DataAvailable()) RequestCloseSocket();
          break;
        default:
          break;
      }
    } else if (m.Msg == kLookupNotice) {
      if (m.WParam != lookup_) return;
      async_ok_ = ((m.LParam >> 16) & 0xFFFF) == 0;
      lookup_done_ = true;
    }
  } catch (const std::exception&) {
    // A notice has nobody to report to; the waits see the state it left.
  }
}

void TPowersock::PumpMessages() {
  app_->ProcessMessages();
  // A program that is ending processes no more messages, so no awaited notice could come.
  if (app_->Terminated() && !canceled_) Cancel();
}

void TPowersock::IdleWait() { app_->Platform().WaitEvent(kIdleWaitMs); }

void TPowersock::ResolveHost() {
  ReportStatus(kStatusDebug, "Resolve Host");
  const std::string& target = Proxy.empty() ? Host : Proxy;
  // The name as a zero-terminated text of the I/O buffer holds it.
  std::string name = target.substr(0, std::min(target.find('\0'), kIOBufferSize));
  std::uint32_t address = 0;
  if (platform::Network::ParseDottedAddress(name, address)) {
    remote_address_ = address;
    return;
  }
  remote_address_ = 0;
  TimerOn();
  lookup_done_ = false;
  lookup_ = net_.StartLookup(name, notify_window_, kLookupNotice);
  if (lookup_ == 0) {
    TimerOff();
    CheckSocketError(platform::wsa::kWouldBlock);
    throw ESockError("Host Lookup Failed");
  }
  while (!lookup_done_ && !timed_out_ && !canceled_) {
    app_->Platform().Sleep(kConnectSleepMs);
    PumpMessages();
  }
  TimerOff();
  int handle = std::exchange(lookup_, 0);
  std::vector<std::uint32_t> addresses = net_.TakeLookup(handle);
  net_.CancelLookup(handle);
  if (timed_out_) throw ESockError("Host Lookup Timed Out");
  if (canceled_) throw ESockError("Host Lookup Canceled");
  if (!async_ok_) throw ESockError("Host Lookup Failed");
  if (!addresses.empty()) remote_address_ = addresses.front();
  if (OnHostResolved) OnHostResolved(this);
}

void TPowersock::Connect() {
  ReportStatus(kStatusDebug, "Connecting");
  canceled_ = false;
  if (connected_) throw ESockError("Already connected");
  bool retried = false;
  for (;;) {
    try {
      ResolveHost();
    } catch (const ESockError& e) {
      if (e.Message() == "Host Lookup Timed Out" || e.Message() == "Host Lookup Canceled") throw;
      remote_address_ = 0;
    }
    if (remote_address_ != 0) break;
    // One more attempt, when the owner says it has mended the name.
    bool handled = false;
    if (!retried && OnInvalidHost) OnInvalidHost(handled);
    if (!handled || retried) throw ESockError("Null Remote Address");
    retried = true;
  }
  remote_port_ = static_cast<std::uint16_t>(Proxy.empty() ? Port : ProxyPort);
  lookup_done_ = false;
  async_ok_ = true;
  if (!net_.Connect(socket_, remote_address_, remote_port_)) CheckSocketError(platform::wsa::kWouldBlock);
  TimerOn();
  while (!connected_ && !lookup_done_ && !timed_out_ && !canceled_ && async_ok_) {
    app_->Platform().Sleep(kConnectSleepMs);
    PumpMessages();
  }
  TimerOff();
  if (!timed_out_ && !canceled_ && async_ok_) return;
  if (OnConnectionFailed) OnConnectionFailed(this);
  if (timed_out_) throw ESockError("Connection Timed out");
  if (canceled_) throw ESockError("Connection Canceled");
  throw ESockError("Connection Failed");
}

void TPowersock::Disconnect() {
  ReportStatus(kStatusDebug, "Disconnecting");
  RequestCloseSocket();
}

void TPowersock::RequestCloseSocket() {
  ReportStatus(kStatusTrace, "Request Close Socket");
  connected_ = false;
  if (socket_ == kNoSocket) return;
  bool closed = net_.Close(std::exchange(socket_, kNoSocket));
  if (!closed) {
    CheckSocketError(platform::wsa::kWouldBlock);
    return;
  }
  if (destroying_) return;
  if (OnDisconnect) OnDisconnect(this);
  // A fresh socket, so that the component can connect again.
  OpenSocket(false);
}

void TPowersock::Write(std::string_view text) {
  ReportStatus(kStatusDebug, "Write");
  std::size_t n = std::min(text.size(), kIOBufferSize);
  std::memcpy(io_buffer_.get(), text.data(), n);
  io_buffer_[n] = '\0';
  SendBuffer(io_buffer_.get(), 0);
}

void TPowersock::Writeln(std::string_view text) {
  ReportStatus(kStatusDebug, "Writeln");
  std::string line(text);
  line += "\r\n";
  Write(line);
}

void TPowersock::SendBuffer(const char* buffer, std::size_t length) {
  ReportStatus(kStatusTrace, "Sending Buffer");
  TimerOn();
  {
    TimerOffGuard off(*this);
    if (!canceled_) {
      if (length == 0) length = strnlen(buffer, kIOBufferSize - 1);
      std::size_t sent = 0;
      while (sent < length && !canceled_) {
        int chunk = static_cast<int>(std::min<std::size_t>(length - sent, kIOBufferSize));
        int n = net_.Send(socket_, buffer + sent, chunk);
        if (n == 0) break;
        if (n < 0) {
          CheckSocketError(platform::wsa::kWouldBlock);
          // The peer's window is full: let it drain, and let a time limit or cancel act.
          IdleWait();
          PumpMessages();
          continue;
        }
        sent += static_cast<std::size_t>(n);
      }
    }
  }
  if (canceled_) {
    canceled_ = false;
    throw EAbortError("Socket send aborted");
  }
}

std::string TPowersock::ReadLn() {
  ReportStatus(kStatusDebug, "ReadLn");
  TimerOn();
  {
    TimerOffGuard off(*this);
    char* buffer = io_buffer_.get();
    std::size_t taken = 0;
    while (!canceled_) {
      std::size_t room = kIOBufferSize - taken;
      // A line longer than the buffer ends with the bytes it holds.
      if (room == 0) return std::string(buffer, taken);
      int n = net_.Receive(socket_, buffer + taken, static_cast<int>(room), true);
      if (n == 0) return std::string();  // the peer has closed
      if (n < 0) {
        last_error_no_ = net_.LastError();
        // The close notice has already replaced the socket: the connection has ended.
        if (last_error_no_ == platform::wsa::kNotConnected) return std::string();
        CheckSocketError(platform::wsa::kWouldBlock);
        IdleWait();
      } else {
        const char* lf = static_cast<const char*>(std::memchr(buffer + taken, '\n', static_cast<std::size_t>(n)));
        int want = lf ? static_cast<int>(lf - (buffer + taken)) + 1 : n;
        int got = net_.Receive(socket_, buffer + taken, want, false);
        if (got < 0) {
          CheckSocketError(platform::wsa::kWouldBlock);
        } else {
          taken += static_cast<std::size_t>(got);
          if (lf && got == want) return std::string(buffer, taken);
        }
      }
      PumpMessages();
    }
  }
  canceled_ = false;
  throw EAbortError("Socket readln aborted");
}

void TPowersock::ReceiveUntilClosed(std::int64_t limit, const std::function<void(const char*, std::size_t)>& take) {
  bytes_received_ = 0;
  TimerOn();
  TimerOffGuard off(*this);
  while (!canceled_ && (limit < 0 || bytes_received_ < limit)) {
    // A limited capture stops at its limit, not a chunk beyond it.
    std::int64_t want = static_cast<std::int64_t>(kIOBufferSize);
    if (limit >= 0) want = std::min(want, limit - bytes_received_);
    int n = net_.Receive(socket_, io_buffer_.get(), static_cast<int>(want), false);
    if (n == 0) break;
    if (n > 0) {
      take(io_buffer_.get(), static_cast<std::size_t>(n));
      bytes_received_ += n;
      if (OnPacketRecvd) OnPacketRecvd(this);
      TimerOn();
    } else {
      last_error_no_ = net_.LastError();
      if (last_error_no_ == platform::wsa::kNotConnected) break;
      CheckSocketError(platform::wsa::kWouldBlock);
      IdleWait();
    }
    PumpMessages();
  }
}

void TPowersock::CaptureString(std::string& text, std::int32_t limit) {
  ReportStatus(kStatusDebug, "Capture String");
  text.clear();
  ReceiveUntilClosed(limit, [&text](const char* data, std::size_t n) { text.append(data, n); });
  if (canceled_) {
    canceled_ = false;
    throw EAbortError("Socket capture aborted");
  }
}

void TPowersock::CaptureFile(const std::string& name) {
  ReportStatus(kStatusDebug, "CaptureFile");
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  if (!out) throw app::Exception("Cannot create file " + name);
  ReceiveUntilClosed(-1, [&](const char* data, std::size_t n) {
    if (!out.write(data, static_cast<std::streamsize>(n))) throw app::Exception("Cannot write file " + name);
  });
  if (canceled_) {
    canceled_ = false;
    throw EAbortError("Socket send aborted");
  }
}

bool TPowersock::DataAvailable() {
  ReportStatus(kStatusDebug, "Data Available");
  char byte;
  return net_.Receive(socket_, &byte, 1, true) == 1;
}

void TPowersock::Cancel() {
  ReportStatus(kStatusDebug, "Canceling");
  canceled_ = true;
}

void TPowersock::Abort() {
  ReportStatus(kStatusDebug, "Abort");
  Cancel();
}

void TPowersock::TimerOn() {
  ReportStatus(kStatusDebug, "Timer On");
  timed_out_ = false;
  timer_->SetInterval(static_cast<std::uint32_t>(TimeOut));
  timer_->SetEnabled(true);
}

void TPowersock::TimerOff() {
  ReportStatus(kStatusDebug, "Timer Off");
  timer_->SetEnabled(false);
}

void TPowersock::TimerTriggered(app::TObject*) {
  ReportStatus(kStatusDebug, "Timer Triggered");
  TimerOff();
  timed_out_ = true;
  lookup_done_ = true;
  Abort();
}

void TPowersock::CheckSocketError(int expected) {
  last_error_no_ = net_.LastError();
  if (last_error_no_ == expected || last_error_no_ <= 10000) return;
  ReportStatus(kStatusDebug, "Looking Up Error Message");
  throw ESockError(SocketErrorText(last_error_no_));
}

}  // namespace ranking
