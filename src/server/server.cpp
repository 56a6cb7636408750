#include "server/server.h"

#include <algorithm>
#include <array>
#include <asio.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <list>
#include <memory>
#include <unordered_map>

#include "platform/server_io.h"
#include "platform/service_socket.h"
#include "server/live_ranking.h"
#include "server/log.h"
#include "server/pages.h"
#include "server/rate_limit.h"
#include "server/request.h"
#include "server/static_files.h"
#include "server/store.h"
#include "server/websocket.h"

namespace server {
namespace {

using asio::ip::tcp;
using Clock = std::chrono::steady_clock;

constexpr auto kWriteDeadline = std::chrono::seconds(10);
// After the last reply, how long unread input is drained before closing, so that closing with
// data still unread does not reset the connection under the reply.
constexpr auto kLingerTime = std::chrono::seconds(2);
// How long a stop waits for entries under way before giving up on them.
constexpr auto kStopGrace = std::chrono::seconds(10);
constexpr std::size_t kMaxAddresses = 65536;
// After this long a connection takes no further request, so no client holds a slot for good.
constexpr auto kMaxConnectionAge = std::chrono::minutes(5);
// Descriptors the server needs besides its connections: standard streams, the listening socket,
// the database with its journal files, the event loop's own, the spare one and a turned-away
// client's.
constexpr std::size_t kOtherDescriptors = 32;
constexpr std::size_t kMaxLoggedRequestLine = 2048;

// The Date header and the log's time, formatted once a second.
class WallClock {
 public:
  const std::string& Http() {
    Refresh();
    return http_;
  }
  const std::string& Log() {
    Refresh();
    return log_;
  }

 private:
  void Refresh() {
    std::time_t now = std::time(nullptr);
    if (now == second_) return;
    second_ = now;
    http_ = HttpDate(now);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char buf[48];
    log_.assign(buf, std::strftime(buf, sizeof buf, "%d/%b/%Y:%H:%M:%S +0000", &tm));
  }
  std::time_t second_ = -1;
  std::string http_, log_;
};

// One line per request on standard error. Lines made while the loop has work ready are queued
// together once it has done that work, so a busy server takes the queue's lock seldom.
class AccessLog {
 public:
  AccessLog(asio::io_context& io, LogQueue& queue) : io_(io), queue_(queue) {}
  ~AccessLog() { Flush(); }

  void Write(std::string_view client, std::string_view time, std::string_view request_line, int status,
             std::size_t bytes, std::string_view note, Clock::duration took) {
    buffer_ += client;
    buffer_ += " - - [";
    buffer_ += time;
    buffer_ += "] \"";
    AppendEscaped(request_line.substr(0, kMaxLoggedRequestLine));
    if (request_line.size() > kMaxLoggedRequestLine) buffer_ += "...";
    char tail[96];
    std::snprintf(tail, sizeof tail, "\" %d %zu %.*s %.3fms\n", status, bytes, static_cast<int>(note.size()),
                  note.data(), std::chrono::duration<double, std::milli>(took).count());
    buffer_ += tail;
    if (!scheduled_) {
      scheduled_ = true;
      asio::post(io_, [this] { Flush(); });
    }
    if (buffer_.size() > 64 * 1024) Flush();
  }

  void Flush() {
    queue_.Push(buffer_);
    buffer_.clear();
    scheduled_ = false;
  }

 private:
  // The request line is the client's: its raw CP932 bytes and any control characters are
  // written as \xHH, so a line stays one line of plain text.
  void AppendEscaped(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (char c : text) {
      auto u = static_cast<unsigned char>(c);
      if (u < 0x20 || u >= 0x7F || c == '"' || c == '\\') {
        buffer_ += "\\x";
        buffer_ += kHex[u >> 4];
        buffer_ += kHex[u & 15];
      } else {
        buffer_ += c;
      }
    }
  }

  asio::io_context& io_;
  LogQueue& queue_;
  std::string buffer_;
  bool scheduled_ = false;
};

asio::ip::address Unmapped(const asio::ip::address& a) {
  if (a.is_v6() && a.to_v6().is_v4_mapped()) return asio::ip::make_address_v4(asio::ip::v4_mapped, a.to_v6());
  return a;
}

// The rate limit counts an IPv6 client by its /64 network: one host normally holds all of it.
std::string RateKey(const asio::ip::address& a) {
  if (!a.is_v6()) return a.to_string();
  auto bytes = a.to_v6().to_bytes();
  std::fill(bytes.begin() + 8, bytes.end(), 0);
  return asio::ip::address_v6(bytes).to_string() + "/64";
}

class Connection;

class Server {
 public:
  // Listens, or throws saying on what it could not.
  Server(const Options& options, LogQueue& log_queue);
  // Connections that outlive the loop go with the handlers that hold them, after the members
  // they report to are gone; they must no longer report.
  ~Server() { *tracking_ = false; }
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;
  // Serves the ranking of `db`, with the pages read through `view_db`, another connection to the
  // same file; both outlive the server.
  void Open(RankingDb& db, RankingDb& view_db);
  int Run();

  // The slots: each open connection holds one, counted for its client address (`key`, empty for a
  // trusted proxy's connection whose client is not known yet).
  void Added(Connection* c, const std::string& key);
  void Removed(Connection* c);
  // Counts the connection for `key` instead; false when that address already holds its share.
  bool Recount(Connection* c, const std::string& key);
  // A connection waits for its next request, or lingers after its last reply: when slots run
  // short it is the first to go.
  std::list<Connection*> reclaimable;  // idle longest first

  std::unique_ptr<bool> tracking_ = std::make_unique<bool>(true);
  asio::io_context io;
  const Options& options;
  WallClock clock;
  AccessLog log;
  RateLimiter limiter{kMaxAddresses};
  std::unique_ptr<EntryWriter> writer;
  std::unique_ptr<LiveRanking> live;
  std::optional<asio::ip::address> trusted_proxy, trusted_http_proxy;
  bool stopping = false;

  const Body& RefusalBody(Refusal r) const { return refusal_pages_[static_cast<std::size_t>(r)]; }
  Body stored_page, duplicate_page, home_page;
  const Body no_body = std::make_shared<const std::string>();
  StaticFiles web;
  WebSocketGate sockets;

 private:
  void Listen();
  void Accept();
  void TurnAway(tcp::socket& socket, const asio::ip::address& peer, std::string_view note);
  void WaitForSignal();
  void Stop();

  // Closes the connection idle longest (counted for `key`, when given); false when none is idle.
  bool CloseIdle(const std::string* key);
  bool AtShare(const std::string& key) const;
  // Takes a client in and turns it away, whatever the count of slots.
  void TurnAwayWaiting();
  void TakeSpareDescriptor();

  tcp::acceptor acceptor_{io};
  // Whatever a terminal or a service manager sends to end it stops it gracefully: a hang-up or a
  // quit key must not drop the replies under way.
  asio::signal_set signals_{io, SIGINT, SIGTERM, SIGHUP};
  asio::steady_timer accept_retry_{io};
  asio::steady_timer stop_deadline_{io};
  // Held open so that when descriptors run out, one can be let go to take a client in and turn
  // it away, rather than leave it waiting for an answer.
  asio::ip::udp::socket spare_{io};
  std::size_t max_connections_;
  std::unordered_map<Connection*, std::string> connections_;  // with the key each is counted for
  std::unordered_map<std::string, std::size_t> per_address_;

  std::array<Body, kRefusalCount> refusal_pages_;
};

class Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(Server& server, tcp::socket socket, asio::ip::address peer)
      : server_(server),
        socket_(std::move(socket)),
        timer_(server.io),
        peer_(peer),
        origin_(peer),
        client_(peer),
        from_proxy_(server.trusted_proxy && Unmapped(peer) == *server.trusted_proxy),
        from_http_proxy_(server.trusted_http_proxy && Unmapped(peer) == *server.trusted_http_proxy),
        proxy_line_possible_(from_proxy_),
        accepted_(Clock::now()) {}
  ~Connection() {
    if (*server_.tracking_) Release();
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  void Start(const std::string& key) {
    server_.Added(this, key);
    BeginRequest();
  }

  // Closes a connection on the server's list of reclaimable ones, to give its slot to another.
  void Reclaim() { Close(); }

  // The server is stopping: a connection waiting for a request closes now; one with a request
  // under way closes after its reply.
  void Shutdown() {
    keep_alive_ = false;
    if (phase_ == Phase::kReading) {
      if (ws_) return EndWebSocket(ws::kGoingAway);
      Close();
    }
  }

 private:
  enum class Phase { kReading, kStoring, kWriting, kLingering, kClosed };

  void BeginRequest() {
    phase_ = Phase::kReading;
    std::memmove(buf_.data(), buf_.data() + consumed_, used_ - consumed_);
    used_ -= consumed_;
    consumed_ = 0;
    request_line_.clear();
    head_only_ = false;
    client_ = origin_;
    ArmTimer(server_.options.read_deadline);
    if (requests_ > 0 && used_ == 0) SetReclaimable(true);
    Scan(0);
  }

  void ReadMore() {
    if (ws_) return ReadFrames();
    socket_.async_read_some(asio::buffer(buf_.data() + used_, buf_.size() - used_),
                            [self = shared_from_this()](const asio::error_code& ec, std::size_t n) {
                              if (self->phase_ != Phase::kReading) return;
                              if (ec) return self->Close();
                              self->SetReclaimable(false);
                              std::size_t before = self->used_;
                              self->used_ += n;
                              // Only the new bytes (and the two before them) can complete the
                              // blank line that ends the head.
                              self->Scan(before > 2 ? before - 2 : 0);
                            });
  }

  // Looks for the end of the head from `from` on; answers it, refuses an oversized one or reads on.
  void Scan(std::size_t from) {
    if (proxy_line_possible_ && used_ > 0) {
      if (!TakeProxyLine()) return;
      from = 0;
    }
    // Blank lines before a request line are ignored, as clients may send them after a request.
    std::size_t blank = 0;
    while (blank < used_ && (buf_[blank] == '\r' || buf_[blank] == '\n')) ++blank;
    if (blank > 0) {
      std::memmove(buf_.data(), buf_.data() + blank, used_ - blank);
      used_ -= blank;
      from = 0;
    }
    std::size_t end = FindHeadEnd(std::string_view(buf_.data() + from, used_ - from));
    if (end != std::string_view::npos) return OnHead(from + end);
    if (used_ == buf_.size()) {
      request_line_ = FirstLine();
      return Refuse(Refusal::kHeadTooLarge);
    }
    ReadMore();
  }

  // A connection from the trusted proxy may begin with a PROXY line. Takes it when it is there;
  // false when more bytes are needed or the line was refused.
  bool TakeProxyLine() {
    std::string_view data(buf_.data(), used_);
    std::size_t compare = std::min(data.size(), kProxyTag.size());
    if (data.substr(0, compare) != kProxyTag.substr(0, compare)) {
      // Not passed on by the proxy: someone on the proxy's host, taken at that address (unless
      // the address is also the HTTP proxy, whose connections carry many clients).
      proxy_line_possible_ = false;
      return from_http_proxy_ || CountFor(origin_);
    }
    std::size_t end = data.substr(0, kMaxProxyLine).find("\r\n");
    if (end == std::string_view::npos) {
      if (used_ < kMaxProxyLine) {
        ReadMore();
      } else {
        request_line_ = FirstLine();
        Refuse(Refusal::kBadRequestLine);
      }
      return false;
    }
    auto source = ParseProxyLine(data.substr(0, end));
    asio::error_code ec;
    if (source && !source->empty()) origin_ = asio::ip::make_address(std::string(*source), ec);
    if (!source || ec) {
      request_line_ = std::string(data.substr(0, end));
      Refuse(Refusal::kBadRequestLine);
      return false;
    }
    proxy_line_possible_ = false;
    proxied_ = true;
    client_ = origin_;
    std::memmove(buf_.data(), buf_.data() + end + 2, used_ - end - 2);
    used_ -= end + 2;
    return CountFor(origin_);
  }

  // The connection's slot counts for the client's address from now on; false when that address
  // already holds all it may, and the connection is turned away.
  bool CountFor(const asio::ip::address& client) {
    if (server_.Recount(this, RateKey(Unmapped(client)))) return true;
    keep_alive_ = false;
    request_line_ = FirstLine();
    Refuse(Refusal::kBusy);
    return false;
  }

  std::string FirstLine() const {
    std::string_view data(buf_.data(), used_);
    std::string_view line = data.substr(0, data.find('\n'));
    if (line.ends_with('\r')) line.remove_suffix(1);
    return std::string(line);
  }

  void OnHead(std::size_t head_len) {
    consumed_ = head_len;
    started_ = Clock::now();
    auto head = ParseHead(std::string_view(buf_.data(), head_len));
    if (!head) {
      request_line_ = FirstLine();
      keep_alive_ = false;
      return Refuse(Refusal::kBadRequestLine);
    }
    request_line_ = std::string(head->request_line);
    head_only_ = head->method == "HEAD";
    keep_alive_ = head->keep_alive && !server_.stopping && ++requests_ < server_.options.max_requests_per_connection &&
                  started_ - accepted_ < kMaxConnectionAge;
    // Anyone may send the header; only the HTTP proxy's word counts, and not behind a PROXY line.
    if (from_http_proxy_ && !proxied_ && !head->forwarded_for.empty()) {
      asio::error_code ec;
      auto forwarded = asio::ip::make_address(std::string(head->forwarded_for), ec);
      if (!ec) client_ = forwarded;
    }
    Classified c = Classify(*head);
    if (c.refusal == Refusal::kNotFound && IsSocketPath(*head)) {
      // Not a WebSocket within a WebSocket.
      if (ws_) return Refuse(Refusal::kNotFound);
      return Upgrade(*head);
    }
    if (c.refusal == Refusal::kNotFound && ServeWeb(*head)) return;
    switch (c.route) {
      case Route::kPage: return Send(200, server_.live->Page(c.period, false, std::time(nullptr)), kHtmlType, "page");
      case Route::kJson:
        return Send(200, server_.live->Page(c.period, true, std::time(nullptr)), kJsonType, "json",
                    "Access-Control-Allow-Origin: *\r\n");
      case Route::kHome: return Send(200, server_.home_page, kHtmlType, "home");
      case Route::kRefused: return Refuse(c.refusal);
      case Route::kEntry: return Store(std::move(c.entry));
    }
  }

  static bool IsSocketPath(const RequestHead& head) {
    std::string_view target = OriginForm(head.target);
    return target.substr(0, target.find('?')) == kSocketPath;
  }

  // From here on the connection carries WebSocket frames, whose binary messages are read as its
  // bytes were before.
  void Upgrade(const RequestHead& head) {
    Handshake h = server_.sockets.Check(head);
    if (h.status != 101) return Send(h.status, h.body, kHtmlType, h.note, h.extra);
    // Behind the HTTP proxy the connection is now one client's, and counts for it; the headers
    // within it are the client's, not the proxy's.
    if (from_http_proxy_ && !proxied_ && !CountFor(client_)) return;
    origin_ = client_;
    from_http_proxy_ = false;
    head_out_ = SwitchingHead(h, server_.clock.Http());
    server_.log.Write(Unmapped(client_).to_string(), server_.clock.Log(), request_line_, 101, head_out_.size(), h.note,
                      Clock::now() - started_);
    ws_ = std::make_unique<WebSocketLink>();
    // What came after the head is already frames.
    ws_->Feed(std::string_view(buf_.data() + consumed_, used_ - consumed_));
    used_ = consumed_ = 0;
    phase_ = Phase::kWriting;
    ArmTimer(kWriteDeadline);
    asio::async_write(socket_, asio::buffer(head_out_),
                      [self = shared_from_this()](const asio::error_code& ec, std::size_t) {
                        if (self->phase_ != Phase::kWriting) return;
                        if (ec) return self->Close();
                        self->started_ = {};
                        if (self->server_.stopping) return self->EndWebSocket(ws::kGoingAway);
                        self->BeginRequest();
                      });
  }

  // ReadMore for a WebSocket: the bytes of messages already read first, then more frames.
  void ReadFrames() {
    if (ws_->failure) return EndWebSocket(ws_->failure);
    if (!ws_->stream.empty()) {
      SetReclaimable(false);
      std::size_t before = used_;
      std::size_t n = std::min(ws_->stream.size(), buf_.size() - used_);
      std::memcpy(buf_.data() + used_, ws_->stream.data(), n);
      ws_->stream.erase(0, n);
      used_ += n;
      return Scan(before > 2 ? before - 2 : 0);
    }
    if (!ws_->pongs.empty()) return WritePongs();
    // The client ends its side with a close frame, as it would end its side of a TCP stream.
    if (ws_->peer_closed) return EndWebSocket(ws::kNormal);
    socket_.async_read_some(asio::buffer(ws_->raw),
                            [self = shared_from_this()](const asio::error_code& ec, std::size_t n) {
                              if (self->phase_ != Phase::kReading) return;
                              if (ec) return self->Close();
                              self->SetReclaimable(false);
                              self->ws_->Feed(std::string_view(self->ws_->raw.data(), n));
                              self->ReadFrames();
                            });
  }

  // Answers pings while waiting for a request; the read deadline runs on.
  void WritePongs() {
    phase_ = Phase::kWriting;
    ws_->out = std::move(ws_->pongs);
    ws_->pongs.clear();
    asio::async_write(socket_, asio::buffer(ws_->out),
                      [self = shared_from_this()](const asio::error_code& ec, std::size_t) {
                        if (self->phase_ != Phase::kWriting) return;
                        if (ec) return self->Close();
                        if (self->server_.stopping) return self->EndWebSocket(ws::kGoingAway);
                        self->phase_ = Phase::kReading;
                        self->ReadFrames();
                      });
  }

  // Sends a close frame with `code` (after any pongs due), and closes as after a last reply.
  void EndWebSocket(std::uint16_t code) {
    if (code != ws::kNormal && code != ws::kGoingAway) {
      std::string note = "websocket-close-" + std::to_string(code);
      server_.log.Write(Unmapped(client_).to_string(), server_.clock.Log(), "-", 400, 4, note, {});
    }
    asio::error_code ignored;
    socket_.cancel(ignored);  // a read under way; its handler sees the phase has changed
    keep_alive_ = false;
    phase_ = Phase::kWriting;
    ArmTimer(kWriteDeadline);
    ws_->out = std::move(ws_->pongs) + CloseFrame(code);
    ws_->pongs.clear();
    asio::async_write(socket_, asio::buffer(ws_->out),
                      [self = shared_from_this()](const asio::error_code& ec, std::size_t) {
                        if (self->phase_ != Phase::kWriting) return;
                        if (ec) return self->Close();
                        self->Linger();
                      });
  }

  // The web build's paths; false for any other.
  bool ServeWeb(const RequestHead& head) {
    std::string_view target = OriginForm(head.target);
    std::size_t question = target.find('?');
    std::string_view path = target.substr(0, question);
    if (!IsWebPath(path)) return false;
    std::string_view query = question == std::string_view::npos ? std::string_view() : target.substr(question + 1);
    StaticReply r = server_.web.Answer(path, query, head);
    Send(r.status, std::move(r.body), r.type, r.note, r.extra);
    return true;
  }

  void Store(Entry entry) {
    if (Refusal r = server_.live->Check(entry, Unmapped(client_)); r != Refusal::kNone) return Refuse(r);
    auto decision = server_.limiter.Admit(RateKey(Unmapped(client_)), Clock::now());
    if (decision.verdict == RateLimiter::Verdict::kLimited)
      return Refuse(Refusal::kTooMany, "Retry-After: " + std::to_string(decision.retry_after_seconds) + "\r\n");
    phase_ = Phase::kStoring;
    CancelTimer();
    // The work guard keeps the loop running until the answer has been handed back to it.
    server_.writer->Submit(
        {std::move(entry), Unmapped(client_).to_string()},
        [self = shared_from_this(), work = asio::make_work_guard(server_.io)](StoreOutcome outcome) {
          asio::post(self->server_.io, [self, outcome] { self->OnStored(outcome); });
        });
  }

  void OnStored(StoreOutcome outcome) {
    if (phase_ != Phase::kStoring) return;
    switch (outcome) {
      case StoreOutcome::kStored: return Send(200, server_.stored_page, kHtmlType, "stored");
      case StoreOutcome::kDuplicate: return Send(200, server_.duplicate_page, kHtmlType, "duplicate");
      case StoreOutcome::kFailed: return Refuse(Refusal::kStoreFailed);
    }
  }

  void Refuse(Refusal refusal, std::string extra = {}) {
    const RefusalInfo& info = Describe(refusal);
    // A HEAD refused is one of an entry, which only a GET may make.
    if (info.status == 405) extra += head_only_ ? "Allow: GET\r\n" : "Allow: GET, HEAD\r\n";
    // After a head we could not read to its end, what follows cannot be found.
    if (refusal == Refusal::kHeadTooLarge || refusal == Refusal::kTimeout || refusal == Refusal::kBadRequestLine)
      keep_alive_ = false;
    if (started_ == Clock::time_point{}) started_ = Clock::now();
    Send(info.status, server_.RefusalBody(refusal), kHtmlType, info.slug, extra);
  }

  void Send(int status, Body body, std::string_view type, std::string_view note, std::string_view extra = {}) {
    if (server_.stopping) keep_alive_ = false;
    head_out_ = ResponseHead(status, type, body->size(), keep_alive_, server_.clock.Http(), extra);
    // A HEAD is answered with the head a GET would get, Content-Length included, and no body.
    // A 304 says how long the body is that it does not send.
    body_out_ = head_only_ || status == 304 ? server_.no_body : std::move(body);
    server_.log.Write(Unmapped(client_).to_string(), server_.clock.Log(), request_line_.empty() ? "-" : request_line_,
                      status, head_out_.size() + body_out_->size(), note, Clock::now() - started_);
    phase_ = Phase::kWriting;
    ArmTimer(kWriteDeadline);
    auto sent = [self = shared_from_this()](const asio::error_code& ec, std::size_t) {
      if (self->phase_ != Phase::kWriting) return;
      if (ec) return self->Close();
      self->started_ = {};
      if (self->keep_alive_ && !self->server_.stopping)
        self->BeginRequest();
      else
        self->Linger();
    };
    if (ws_) {
      // The reply is one binary message; where TCP would close, a close frame follows it.
      bool closing = !keep_alive_ || server_.stopping;
      ws_->frame_head = FrameHead(ws::kBinary, head_out_.size() + body_out_->size());
      ws_->close_frame = closing ? CloseFrame(ws::kNormal) : std::string();
      ws_->out = std::move(ws_->pongs);  // pongs due go first
      ws_->pongs.clear();
      std::array<asio::const_buffer, 5> out{asio::buffer(ws_->out), asio::buffer(ws_->frame_head),
                                            asio::buffer(head_out_), asio::buffer(*body_out_),
                                            asio::buffer(ws_->close_frame)};
      return asio::async_write(socket_, out, std::move(sent));
    }
    std::array<asio::const_buffer, 2> out{asio::buffer(head_out_), asio::buffer(*body_out_)};
    asio::async_write(socket_, out, std::move(sent));
  }

  void Linger() {
    phase_ = Phase::kLingering;
    SetReclaimable(true);
    asio::error_code ignored;
    socket_.shutdown(tcp::socket::shutdown_send, ignored);
    ArmTimer(kLingerTime);
    Drain();
  }

  void Drain() {
    socket_.async_read_some(asio::buffer(buf_), [self = shared_from_this()](const asio::error_code& ec, std::size_t) {
      if (self->phase_ != Phase::kLingering) return;
      if (ec) return self->Close();
      self->Drain();
    });
  }

  void Close() {
    if (phase_ == Phase::kClosed) return;
    phase_ = Phase::kClosed;
    CancelTimer();
    asio::error_code ignored;
    socket_.close(ignored);
    Release();  // its slot is free at once, though its handlers end later
  }

  void Release() {
    SetReclaimable(false);
    server_.Removed(this);
  }

  void SetReclaimable(bool yes) {
    if (yes == reclaimable_) return;
    reclaimable_ = yes;
    if (yes)
      reclaimable_at_ = server_.reclaimable.insert(server_.reclaimable.end(), this);
    else
      server_.reclaimable.erase(reclaimable_at_);
  }

  void ArmTimer(Clock::duration after) {
    timer_.expires_after(after);
    timer_.async_wait([self = shared_from_this(), generation = ++timer_generation_](const asio::error_code& ec) {
      if (ec || generation != self->timer_generation_) return;
      self->OnDeadline();
    });
  }

  void CancelTimer() {
    ++timer_generation_;
    timer_.cancel();
  }

  void OnDeadline() {
    if (phase_ == Phase::kReading && used_ > 0) {
      // A client that trickles its head is answered and cut off.
      request_line_ = FirstLine();
      return Refuse(Refusal::kTimeout);
    }
    if (ws_ && phase_ == Phase::kReading) return EndWebSocket(ws::kNormal);
    if (phase_ != Phase::kStoring) Close();
  }

  Server& server_;
  tcp::socket socket_;
  asio::steady_timer timer_;
  unsigned timer_generation_ = 0;
  asio::ip::address peer_;
  asio::ip::address origin_;  // the peer, or the source a TCP proxy's PROXY line gave
  asio::ip::address client_;  // the origin, or the address an HTTP proxy forwarded for
  bool from_proxy_;           // the peer is the trusted TCP proxy
  bool from_http_proxy_;      // the peer is the trusted HTTP proxy
  bool proxy_line_possible_;  // its PROXY line may still come
  bool proxied_ = false;      // it came
  Clock::time_point accepted_;
  std::size_t requests_ = 0;  // heads read
  bool reclaimable_ = false;  // on the server's list, at reclaimable_at_
  std::list<Connection*>::iterator reclaimable_at_;
  Phase phase_ = Phase::kReading;
  std::array<char, kMaxHeadBytes> buf_;
  std::size_t used_ = 0;      // bytes in buf_
  std::size_t consumed_ = 0;  // of them, the head being answered
  bool keep_alive_ = false;
  bool head_only_ = false;  // the request is a HEAD
  std::string request_line_;
  Clock::time_point started_{};
  std::string head_out_;
  Body body_out_;
  std::unique_ptr<WebSocketLink> ws_;  // after a handshake: the connection's bytes come in frames
};

Server::Server(const Options& opts, LogQueue& log_queue)
    : options(opts),
      log(io, log_queue),
      web(opts.web_dir),
      sockets(opts.allowed_origins),
      max_connections_(opts.max_connections) {
  signals_.add(SIGQUIT);
  for (std::size_t i = 0; i < refusal_pages_.size(); ++i)
    refusal_pages_[i] = std::make_shared<const std::string>(RefusalPage(static_cast<Refusal>(i)));
  stored_page = std::make_shared<const std::string>(
      MessagePage(u8"送信成功", u8"ハイスコアを登録しました。ありがとうございました。"));
  duplicate_page = std::make_shared<const std::string>(
      MessagePage(u8"送信成功", u8"このハイスコアは登録済みです。"));
  home_page = std::make_shared<const std::string>(HomePage());
  if (!options.trusted_proxy.empty()) {
    asio::error_code ec;
    auto proxy = asio::ip::make_address(options.trusted_proxy, ec);
    if (ec) throw std::runtime_error("--trusted-proxy: not an IP address: " + options.trusted_proxy);
    trusted_proxy = Unmapped(proxy);
  }
  if (!options.trusted_http_proxy.empty()) {
    asio::error_code ec;
    auto proxy = asio::ip::make_address(options.trusted_http_proxy, ec);
    if (ec) throw std::runtime_error("--trusted-http-proxy: not an IP address: " + options.trusted_http_proxy);
    trusted_http_proxy = Unmapped(proxy);
  }
  // Past the open-files limit, clients would wait for an accept that cannot be made.
  if (std::size_t limit = platform::RaiseOpenFileLimit(); limit != 0) {
    std::size_t fit = limit > kOtherDescriptors + 1 ? limit - kOtherDescriptors : 1;
    if (fit < max_connections_) {
      Note("the open-files limit of " + std::to_string(limit) + " leaves room for " + std::to_string(fit) +
           " connections: --max-connections lowered from " + std::to_string(max_connections_) + " to " +
           std::to_string(fit));
      max_connections_ = fit;
    }
  }
  TakeSpareDescriptor();
  Listen();
}

void Server::Open(RankingDb& db, RankingDb& view_db) {
  live = std::make_unique<LiveRanking>(view_db);
  writer = std::make_unique<EntryWriter>(db);
}

void Server::Added(Connection* c, const std::string& key) {
  connections_.emplace(c, key);
  if (!key.empty()) ++per_address_[key];
}

void Server::Removed(Connection* c) {
  if (!*tracking_) return;
  auto it = connections_.find(c);
  if (it == connections_.end()) return;
  if (!it->second.empty()) {
    auto count = per_address_.find(it->second);
    if (--count->second == 0) per_address_.erase(count);
  }
  connections_.erase(it);
  if (stopping && connections_.empty()) {
    stop_deadline_.cancel();
    signals_.cancel();
  }
}

// "127.0.0.1:8080", "[::1]:8080".
std::string Shown(const tcp::endpoint& endpoint) {
  const asio::ip::address& a = endpoint.address();
  return (a.is_v6() ? "[" + a.to_string() + "]" : a.to_string()) + ":" + std::to_string(endpoint.port());
}

void Server::Listen() {
  std::string error;
  if (auto passed = platform::TakeServiceSocket(error)) {
    asio::error_code ec;
    acceptor_.assign(passed->ipv6 ? tcp::v6() : tcp::v4(), passed->handle, ec);
    if (ec) throw std::runtime_error("cannot use the socket from the service manager: " + ec.message());
    return;
  }
  if (!error.empty()) throw std::runtime_error(error);
  const std::string& host = options.listen_host;
  std::string asked = (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
                      std::to_string(options.listen_port);
  asio::error_code ec;
  tcp::resolver resolver(io);
  auto endpoints = resolver.resolve(options.listen_host, std::to_string(options.listen_port),
                                    tcp::resolver::numeric_service | tcp::resolver::passive, ec);
  if (ec || endpoints.empty())
    throw std::runtime_error("cannot resolve " + host + " (--listen " + asked + "): " + ec.message());
  tcp::endpoint endpoint = endpoints.begin()->endpoint();
  std::string where = Shown(endpoint) == asked ? asked : asked + " (" + Shown(endpoint) + ")";
  acceptor_.open(endpoint.protocol(), ec);
  if (!ec) acceptor_.set_option(tcp::acceptor::reuse_address(true), ec);
  if (!ec) acceptor_.bind(endpoint, ec);
  if (!ec) acceptor_.listen(asio::socket_base::max_listen_connections, ec);
  if (ec) throw std::runtime_error("cannot listen on " + where + ": " + ec.message());
}

int Server::Run() {
  Note("listening on " + Shown(acceptor_.local_endpoint()) + ", database " + options.db_path);
  if (!platform::IsDirectory(options.web_dir))
    Note("no web build in " + options.web_dir + ": /play/ answers 404 (--web DIR serves one)");

  WaitForSignal();
  Accept();
  io.run();
  writer->Stop();
  log.Flush();
  Note("stopped");
  return 0;
}

void Server::Accept() {
  acceptor_.async_accept([this](const asio::error_code& ec, tcp::socket socket) {
    if (stopping) return;
    if (ec) {
      Note("accept: " + ec.message());
      bool no_descriptor = ec == asio::error::no_descriptors ||
                           (ec.category() == asio::system_category() && ec.value() == ENFILE);
      if (no_descriptor && spare_.is_open()) {
        // The spare descriptor makes room to answer those waiting, one at a time. Accept fails
        // at once while none is free, so wait for the next client before trying again.
        TurnAwayWaiting();
        acceptor_.async_wait(tcp::acceptor::wait_read, [this](const asio::error_code& e) {
          if (!e && !stopping) Accept();
        });
        return;
      }
      // Out of memory, or no spare: try again shortly rather than spin.
      accept_retry_.expires_after(std::chrono::milliseconds(100));
      accept_retry_.async_wait([this](const asio::error_code& e) {
        if (!e && !stopping) Accept();
      });
      return;
    }
    asio::error_code peer_ec;
    tcp::endpoint peer = socket.remote_endpoint(peer_ec);
    if (!peer_ec) {
      asio::ip::address address = Unmapped(peer.address());
      // A proxy's connections carry many clients: they count once the client is known.
      bool proxy = (trusted_proxy && address == *trusted_proxy) || (trusted_http_proxy && address == *trusted_http_proxy);
      std::string key = proxy ? std::string() : RateKey(address);
      if (!key.empty() && AtShare(key) && !CloseIdle(&key))
        TurnAway(socket, address, "too-many-from-address");
      else if (connections_.size() >= max_connections_ && !CloseIdle(nullptr))
        TurnAway(socket, address, "too-many-connections");
      else
        std::make_shared<Connection>(*this, std::move(socket), peer.address())->Start(key);
    }
    Accept();
  });
}

bool Server::AtShare(const std::string& key) const {
  auto it = per_address_.find(key);
  return it != per_address_.end() && it->second >= options.max_per_address;
}

bool Server::CloseIdle(const std::string* key) {
  for (Connection* c : reclaimable) {
    if (key && connections_.at(c) != *key) continue;
    c->Reclaim();
    return true;
  }
  return false;
}

bool Server::Recount(Connection* c, const std::string& key) {
  std::string& counted = connections_.at(c);
  if (counted == key) return true;
  if (AtShare(key) && !CloseIdle(&key)) return false;
  if (!counted.empty()) {
    auto count = per_address_.find(counted);
    if (--count->second == 0) per_address_.erase(count);
  }
  counted = key;
  ++per_address_[key];
  return true;
}

void Server::TurnAwayWaiting() {
  asio::error_code ec;
  spare_.close(ec);
  acceptor_.non_blocking(true, ec);
  for (;;) {
    tcp::socket socket(io);
    acceptor_.accept(socket, ec);
    if (ec) break;  // none waiting (or still no descriptor)
    asio::error_code peer_ec;
    tcp::endpoint peer = socket.remote_endpoint(peer_ec);
    TurnAway(socket, peer_ec ? asio::ip::address() : Unmapped(peer.address()), "out-of-descriptors");
  }
  TakeSpareDescriptor();
}

void Server::TakeSpareDescriptor() {
  asio::error_code ec;
  if (!spare_.is_open()) spare_.open(asio::ip::udp::v4(), ec);
}

// Over a cap of open connections: a short 503, written only as far as the socket takes it at
// once, and closed. A reply, because the game counts a connection closed without one as success.
void Server::TurnAway(tcp::socket& socket, const asio::ip::address& peer, std::string_view note) {
  const Body& body = RefusalBody(Refusal::kBusy);
  std::string head = ResponseHead(503, kHtmlType, body->size(), false, clock.Http());
  std::array<asio::const_buffer, 2> out{asio::buffer(head), asio::buffer(*body)};
  asio::error_code ec;
  socket.non_blocking(true, ec);
  socket.write_some(out, ec);
  socket.shutdown(tcp::socket::shutdown_both, ec);
  log.Write(peer.to_string(), clock.Log(), "-", 503, head.size() + body->size(), note, {});
  socket.close(ec);
}

void Server::WaitForSignal() {
  signals_.async_wait([this](const asio::error_code& ec, int signal) {
    if (ec) return;
    if (stopping) {
      Note("signal " + std::to_string(signal) + " again, stopping now");
      io.stop();
      return;
    }
    Note("signal " + std::to_string(signal) + ", stopping");
    WaitForSignal();  // a second signal stops at once; Stop cancels this wait when nothing is left
    Stop();
  });
}

void Server::Stop() {
  stopping = true;
  asio::error_code ignored;
  acceptor_.close(ignored);
  accept_retry_.cancel();
  std::vector<Connection*> open;
  for (auto& [c, key] : connections_) open.push_back(c);
  for (Connection* c : open) c->Shutdown();
  if (connections_.empty()) {
    signals_.cancel();
    return;
  }
  stop_deadline_.expires_after(kStopGrace);
  stop_deadline_.async_wait([this](const asio::error_code& ec) {
    if (ec) return;
    Note(std::to_string(connections_.size()) + " connections still open, stopping anyway");
    io.stop();
  });
}

}  // namespace

int RunServer(const Options& options) {
  // Outlives the server, whose last lines it writes.
  LogQueue log_queue;
  SetNoteQueue(&log_queue);
  try {
    // Listening comes first, so a server that cannot listen leaves no new database behind.
    std::unique_ptr<RankingDb> db, view_db;  // outlive the server's writer and pages
    Server server(options, log_queue);
    db = std::make_unique<RankingDb>(options.db_path);
    view_db = std::make_unique<RankingDb>(options.db_path);
    server.Open(*db, *view_db);
    return server.Run();
  } catch (const std::exception& e) {
    Note(e.what());
    return 1;
  }
}

}  // namespace server
