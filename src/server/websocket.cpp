#include "server/websocket.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "server/digest.h"
#include "server/pages.h"

namespace server {
namespace {

constexpr std::string_view kGuid = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// "host", "host:port", "[v6]", "[v6]:port": the host in lower case and the port (0: none).
bool SplitHostPort(std::string_view text, std::string& host, unsigned& port) {
  port = 0;
  std::string_view h = text, p;
  if (text.starts_with('[')) {
    std::size_t close = text.find(']');
    if (close == std::string_view::npos) return false;
    h = text.substr(0, close + 1);
    std::string_view rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return false;
      p = rest.substr(1);
      if (p.empty()) return false;
    }
  } else if (std::size_t colon = text.find(':'); colon != std::string_view::npos) {
    h = text.substr(0, colon);
    p = text.substr(colon + 1);
    if (p.empty()) return false;
  }
  if (h.empty()) return false;
  for (char c : h)
    if (!std::isalnum(static_cast<unsigned char>(c)) && std::string_view("-._~[]:").find(c) == std::string_view::npos)
      return false;
  if (!p.empty()) {
    auto [end, ec] = std::from_chars(p.data(), p.data() + p.size(), port);
    if (ec != std::errc() || end != p.data() + p.size() || port == 0 || port > 65535) return false;
  }
  host = Lower(h);
  return true;
}

bool IsBase64Key(std::string_view key) {
  // Sixteen bytes: 22 characters and "==".
  if (key.size() != 24 || !key.ends_with("==")) return false;
  return std::all_of(key.begin(), key.end() - 2,
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/'; });
}

// The close codes a client may send (RFC 6455, 7.4): none of those kept for the status of a
// connection without a close frame, nor unassigned ones.
bool ValidCloseCode(unsigned code) {
  if (code >= 3000 && code <= 4999) return true;
  return code >= 1000 && code <= 1014 && code != 1004 && code != 1005 && code != 1006;
}

Body Share(std::string text) { return std::make_shared<const std::string>(std::move(text)); }

}  // namespace

std::string AcceptKey(std::string_view key) {
  std::string joined(key);
  joined += kGuid;
  auto digest = Sha1(joined);
  return Base64(std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
}

std::optional<WebOrigin> ParseOrigin(std::string_view text) {
  WebOrigin o;
  std::string lower = Lower(text.substr(0, 8));
  if (lower.starts_with("http://")) {
    o.scheme = "http";
    text.remove_prefix(7);
  } else if (lower.starts_with("https://")) {
    o.scheme = "https";
    text.remove_prefix(8);
  } else {
    return std::nullopt;
  }
  if (text.ends_with('/')) text.remove_suffix(1);
  if (!SplitHostPort(text, o.host, o.port)) return std::nullopt;
  if (o.port == 0) o.port = o.scheme == "https" ? 443 : 80;
  return o;
}

bool SameSite(const WebOrigin& origin, std::string_view host_header) {
  std::string host;
  unsigned port;
  if (!SplitHostPort(host_header, host, port)) return false;
  if (host != origin.host) return false;
  // Without a port the Host names the default one of the scheme the page came by.
  return port == 0 ? origin.port == (origin.scheme == "https" ? 443u : 80u) : port == origin.port;
}

WebSocketGate::WebSocketGate(const std::vector<std::string>& allowed) {
  for (const std::string& a : allowed) {
    if (a == "*")
      any_origin_ = true;
    else if (auto o = ParseOrigin(a))
      allowed_.push_back(*o);
  }
  upgrade_page_ = Share(MessagePage(u8"エラー", u8"ここはゲームの WebSocket 接続の場所です。"));
  bad_page_ = Share(MessagePage(u8"エラー", u8"WebSocket の接続要求が正しくありません。"));
  origin_page_ = Share(MessagePage(u8"エラー", u8"他のサイトのページからは接続できません。"));
}

Handshake WebSocketGate::Refuse(int status, std::string_view note, const Body& body, std::string extra) const {
  Handshake h;
  h.status = status;
  h.note = note;
  h.body = body;
  h.extra = std::move(extra);
  return h;
}

Handshake WebSocketGate::Check(const RequestHead& head) const {
  constexpr std::string_view kVersionHeader = "Sec-WebSocket-Version: 13\r\n";
  if (head.method != "GET" || !HasToken(HeaderList(head, "Upgrade"), "websocket") ||
      !HasToken(HeaderList(head, "Connection"), "upgrade"))
    return Refuse(426, "not-websocket", upgrade_page_, "Upgrade: websocket\r\n" + std::string(kVersionHeader));
  if (head.request_line.ends_with(" HTTP/1.0")) return Refuse(400, "websocket-http10", bad_page_);
  if (HeaderList(head, "Sec-WebSocket-Version") != "13")
    return Refuse(426, "websocket-version", bad_page_, std::string(kVersionHeader));
  // One key: two headers would be joined with a comma, which no key holds.
  std::string key = HeaderList(head, "Sec-WebSocket-Key");
  if (!IsBase64Key(key)) return Refuse(400, "websocket-key", bad_page_);
  // A browser names the page that opens the socket; a page of another site must not send
  // entries in its visitor's name.
  bool has_origin = std::any_of(head.headers.begin(), head.headers.end(),
                                [](const auto& h) { return EqualsNoCase(h.first, "Origin"); });
  if (has_origin && !any_origin_) {
    std::string origin_text = HeaderList(head, "Origin");
    auto origin = ParseOrigin(origin_text);
    bool allowed = origin && (SameSite(*origin, HeaderList(head, "Host")) ||
                              std::find(allowed_.begin(), allowed_.end(), *origin) != allowed_.end());
    if (!allowed) return Refuse(403, "websocket-origin", origin_page_);
  }
  Handshake h;
  h.status = 101;
  h.note = "websocket";
  h.accept = AcceptKey(key);
  h.binary_protocol = HasToken(HeaderList(head, "Sec-WebSocket-Protocol"), "binary");
  return h;
}

std::string SwitchingHead(const Handshake& handshake, std::string_view date) {
  std::string out = "HTTP/1.1 101 Switching Protocols\r\nServer: velkor-ranking\r\nDate: ";
  out += date;
  out += "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Accept: ";
  out += handshake.accept;
  out += "\r\n";
  if (handshake.binary_protocol) out += "Sec-WebSocket-Protocol: binary\r\n";
  out += "\r\n";
  return out;
}

std::uint16_t FrameDecoder::Feed(std::string_view data, std::string& stream, std::vector<ControlFrame>& controls) {
  while (!data.empty() && !done_) {
    if (!in_payload_) {
      std::size_t n = std::min(data.size(), header_need_ - header_have_);
      std::copy_n(data.begin(), n, header_.begin() + header_have_);
      header_have_ += n;
      data.remove_prefix(n);
      if (header_have_ < header_need_) break;
      if (std::uint16_t code = OnHeader()) {
        done_ = true;
        return failure_ = code;
      }
      if (!in_payload_ && header_have_ == header_need_ && payload_left_ == 0 && header_need_ > 2) {
        if (std::uint16_t code = OnFrameEnd(controls)) {
          done_ = true;
          return failure_ = code;
        }
      }
      continue;
    }
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(payload_left_, data.size()));
    std::string& into = (opcode_ & 0x8) ? control_ : stream;
    std::size_t at = into.size();
    into.append(data.data(), n);
    for (std::size_t i = at; i < into.size(); ++i) into[i] = static_cast<char>(into[i] ^ mask_[mask_at_++ & 3]);
    payload_left_ -= n;
    data.remove_prefix(n);
    if (payload_left_ == 0) {
      in_payload_ = false;
      if (std::uint16_t code = OnFrameEnd(controls)) {
        done_ = true;
        return failure_ = code;
      }
    }
  }
  return failure_;
}

// The header is read as far as header_need_ says. After its first two bytes, says how long it
// is; once whole, checks the frame and begins its payload.
std::uint16_t FrameDecoder::OnHeader() {
  if (header_need_ == 2) {
    fin_ = header_[0] & 0x80;
    opcode_ = header_[0] & 0x0F;
    bool masked = header_[1] & 0x80;
    unsigned length7 = header_[1] & 0x7F;
    // No extension was agreed, so no reserved bit may be set.
    if (header_[0] & 0x70) return ws::kProtocolError;
    bool control = opcode_ & 0x8;
    if (opcode_ != ws::kContinuation && opcode_ != ws::kText && opcode_ != ws::kBinary && opcode_ != ws::kClose &&
        opcode_ != ws::kPing && opcode_ != ws::kPong)
      return ws::kProtocolError;
    if (!masked) return ws::kProtocolError;  // a client masks every frame
    if (control && (!fin_ || length7 > 125)) return ws::kProtocolError;
    // The game's bytes are binary; text would have to be checked as UTF-8 for nothing.
    if (opcode_ == ws::kText) return ws::kUnsupported;
    if (opcode_ == ws::kContinuation && !in_message_) return ws::kProtocolError;
    if (opcode_ == ws::kBinary && in_message_) return ws::kProtocolError;
    header_need_ = 2 + (length7 == 126 ? 2 : length7 == 127 ? 8 : 0) + 4;
    return 0;
  }
  unsigned length7 = header_[1] & 0x7F;
  std::uint64_t length = length7;
  std::size_t at = 2;
  if (length7 == 126) {
    length = std::uint64_t(header_[2]) << 8 | header_[3];
    if (length < 126) return ws::kProtocolError;  // the shortest form is required
    at = 4;
  } else if (length7 == 127) {
    length = 0;
    for (int i = 0; i < 8; ++i) length = length << 8 | header_[2 + i];
    if (length >> 63 || length <= 0xFFFF) return ws::kProtocolError;
    at = 10;
  }
  if (!(opcode_ & 0x8)) {
    if (length > kMaxFramePayload || message_bytes_ + length > kMaxMessageBytes) return ws::kTooBig;
    message_bytes_ += static_cast<std::size_t>(length);
  }
  std::copy_n(header_.begin() + at, 4, mask_.begin());
  mask_at_ = 0;
  payload_left_ = length;
  in_payload_ = length > 0;
  control_.clear();
  return 0;
}

std::uint16_t FrameDecoder::OnFrameEnd(std::vector<ControlFrame>& controls) {
  header_have_ = 0;
  header_need_ = 2;
  if (opcode_ & 0x8) {
    if (opcode_ == ws::kClose) {
      if (control_.size() == 1) return ws::kProtocolError;
      if (control_.size() >= 2) {
        unsigned code = static_cast<unsigned char>(control_[0]) << 8 | static_cast<unsigned char>(control_[1]);
        if (!ValidCloseCode(code)) return ws::kProtocolError;
      }
      done_ = true;
    }
    controls.push_back({opcode_, std::move(control_)});
    control_.clear();
    return 0;
  }
  in_message_ = !fin_;
  if (fin_) message_bytes_ = 0;
  return 0;
}

std::string FrameHead(std::uint8_t opcode, std::size_t length) {
  std::string head;
  head += static_cast<char>(0x80 | opcode);
  if (length < 126) {
    head += static_cast<char>(length);
  } else if (length <= 0xFFFF) {
    head += static_cast<char>(126);
    head += static_cast<char>(length >> 8);
    head += static_cast<char>(length & 0xFF);
  } else {
    head += static_cast<char>(127);
    for (int i = 7; i >= 0; --i) head += static_cast<char>(static_cast<std::uint64_t>(length) >> (8 * i) & 0xFF);
  }
  return head;
}

std::string CloseFrame(std::uint16_t code) {
  std::string frame = FrameHead(ws::kClose, 2);
  frame += static_cast<char>(code >> 8);
  frame += static_cast<char>(code & 0xFF);
  return frame;
}

void WebSocketLink::Feed(std::string_view bytes) {
  if (failure || peer_closed) return;
  std::vector<ControlFrame> controls;
  failure = decoder.Feed(bytes, stream, controls);
  for (ControlFrame& c : controls) {
    if (c.opcode == ws::kPing) {
      pongs += FrameHead(ws::kPong, c.payload.size());
      pongs += c.payload;
    } else if (c.opcode == ws::kClose) {
      peer_closed = true;
    }
  }
}

}  // namespace server
