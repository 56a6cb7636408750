#pragma once
// The socket component beneath the HTTP client: one TCP socket, its name lookup, connect, send
// and receive. The platform's socket notices arrive as messages on a hidden window of the
// component; every wait is a loop that lets the application process its messages until the
// notice it waits for has come, so the program's windows stay live during a request. A
// companion timer puts an optional time limit on each wait.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/classes.h"
#include "app/messages.h"
#include "app/sysutils.h"

namespace app { class TApplication; }
namespace platform { class Network; }

namespace ranking {

class ESockError : public app::Exception {
 public:
  using Exception::Exception;
};

// A wait canceled or run out of time during a send, a line read or a capture.
class EAbortError : public ESockError {
 public:
  using ESockError::ESockError;
};

using THandlerEvent = std::function<void(bool& Handled)>;
using TOnHostResolved = std::function<void(app::TObject* Sender)>;
using TOnStatus = std::function<void(app::TObject* Sender, const std::string& Status)>;

// "10061:Connection refused", or "Unknown Error No. " and the number.
std::string SocketErrorText(int error);

// Calls OnTimer every Interval milliseconds while enabled, from the application's message loop.
class TThreadTimer : public app::TComponent {
 public:
  explicit TThreadTimer(app::TComponent* AOwner);
  ~TThreadTimer() override;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  std::uint32_t Interval() const { return interval_; }
  void SetInterval(std::uint32_t value);
  void SetOnTimer(app::TNotifyEvent handler);

 private:
  void UpdateTimer();

  bool enabled_ = true;
  std::uint32_t interval_ = 1000;
  app::TNotifyEvent on_timer_;
  unsigned timer_id_ = 0;
  app::TApplication* app_;
};

class TPowersock : public app::TComponent {
 public:
  // Message numbers of the hidden window's notices.
  static constexpr std::uint32_t kSocketNotice = 1125;
  static constexpr std::uint32_t kLookupNotice = 1126;
  static constexpr std::uint16_t kNoSocket = 65535;
  static constexpr std::size_t kIOBufferSize = 65536;

  explicit TPowersock(app::TComponent* AOwner);
  ~TPowersock() override;

  // Published properties.
  std::string Host;
  std::int32_t Port = 0;
  std::int32_t TimeOut = 0;  // milliseconds for each wait; 0 for none
  std::int32_t ReportLevel = 0;
  std::string Proxy;
  std::int32_t ProxyPort = 0;

  app::TNotifyEvent OnConnect;
  app::TNotifyEvent OnDisconnect;
  THandlerEvent OnInvalidHost;
  TOnHostResolved OnHostResolved;
  TOnStatus OnStatus;
  app::TNotifyEvent OnConnectionFailed;
  app::TNotifyEvent OnPacketRecvd;
  app::TNotifyEvent OnPacketSent;

  // Operations.
  void Connect();
  void Disconnect();
  void RequestCloseSocket();
  void ResolveHost();
  void Write(std::string_view text);
  void Writeln(std::string_view text);
  // Sends `length` bytes of `buffer`; a length of 0 sends its zero-terminated text.
  void SendBuffer(const char* buffer, std::size_t length);
  // One line, with its line feed (and a CR before it); empty when the peer has closed.
  std::string ReadLn();
  // Reads until the peer closes or `limit` bytes (-1 for no limit) have come.
  void CaptureString(std::string& text, std::int32_t limit);
  void CaptureFile(const std::string& name);
  bool DataAvailable();
  void Cancel();
  virtual void Abort();

  void TimerOn();
  void TimerOff();
  void TimerTriggered(app::TObject* Sender);
  // Raises ESockError for the last socket error unless it is `expected` (or not an error).
  void CheckSocketError(int expected);
  void ReportStatus(std::int32_t level, std::string_view text);

  // State.
  bool Connected() const { return connected_; }
  bool Canceled() const { return canceled_; }
  bool TimedOut() const { return timed_out_; }
  const std::string& Status() const { return status_; }
  int LastErrorNo() const { return last_error_no_; }
  std::int64_t BytesReceived() const { return bytes_received_; }
  std::uint16_t SocketHandle() const { return socket_; }
  // The remote IPv4 address (network byte order) and port of the last connect.
  std::uint32_t RemoteAddress() const { return remote_address_; }

 protected:
  // Set when the awaited lookup or timer notice has come.
  bool lookup_done_ = false;

 private:
  bool OpenSocket(bool abortive_close);
  void NotifyProc(app::TMessage& Message);
  void PumpMessages();
  // Receives until the peer closes, `limit` bytes (-1 for no limit) have come or a cancel,
  // handing each chunk to `take`.
  void ReceiveUntilClosed(std::int64_t limit, const std::function<void(const char*, std::size_t)>& take);
  // One short wait for the network or a message, when a read found nothing waiting.
  void IdleWait();
  bool Aborting() const;

  app::TApplication* app_;
  platform::Network& net_;
  std::uint32_t notify_window_ = 0;
  TThreadTimer* timer_ = nullptr;
  std::uint16_t socket_ = kNoSocket;
  std::uint32_t remote_address_ = 0;
  std::uint16_t remote_port_ = 0;
  int lookup_ = 0;
  std::unique_ptr<char[]> io_buffer_;
  bool canceled_ = false;
  bool timed_out_ = false;
  bool async_ok_ = true;
  bool connected_ = false;
  bool destroying_ = false;
  std::string status_;
  int last_error_no_ = 0;
  std::int64_t bytes_received_ = 0;
};

}  // namespace ranking
