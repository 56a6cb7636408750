#pragma once
// The WebSocket that carries the web build's ranking connection. A browser cannot open a TCP
// connection, so the game's socket there sends its bytes as binary messages; the server reads
// them as the byte stream of a TCP connection and answers in binary messages, closing with a
// close frame where it would close the connection.
//
// The handshake and the frames are the client's: the frames must be masked, within the limits,
// binary or control frames only; anything else closes the connection with the code that says why.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/request.h"
#include "server/static_files.h"

namespace server {

// Beside the web build's page, which reaches it as "socket", relative to its own address.
inline constexpr std::string_view kSocketPath = "/play/socket";
inline constexpr std::size_t kMaxFramePayload = 16 << 10;
inline constexpr std::size_t kMaxMessageBytes = 64 << 10;

namespace ws {
inline constexpr std::uint8_t kContinuation = 0x0, kText = 0x1, kBinary = 0x2, kClose = 0x8, kPing = 0x9, kPong = 0xA;
inline constexpr std::uint16_t kNormal = 1000, kGoingAway = 1001, kProtocolError = 1002, kUnsupported = 1003,
                               kTooBig = 1009;
}  // namespace ws

// Sec-WebSocket-Accept for a Sec-WebSocket-Key.
std::string AcceptKey(std::string_view key);

// A web origin: "http://host", "https://host:port" (a trailing '/' is allowed). The host in lower
// case, the port the scheme's own when none is given.
struct WebOrigin {
  std::string scheme, host;
  unsigned port = 0;
  bool operator==(const WebOrigin&) const = default;
};
std::optional<WebOrigin> ParseOrigin(std::string_view text);
// Whether a page of `origin` was served by the server that `host` (a Host header) names, under
// http or https: a TLS proxy may stand in front.
bool SameSite(const WebOrigin& origin, std::string_view host);

struct Handshake {
  int status = 0;  // 101: switch; else the status of the refusal
  std::string_view note;
  Body body;          // a refusal's page
  std::string extra;  // a refusal's header lines
  std::string accept;
  bool binary_protocol = false;  // the client offered the "binary" subprotocol; it is chosen
};

// Checks upgrade requests against the origins the admin allows.
class WebSocketGate {
 public:
  // `allowed`: as --allow-origin takes them, each "*" or an origin.
  explicit WebSocketGate(const std::vector<std::string>& allowed);
  Handshake Check(const RequestHead& head) const;

 private:
  Handshake Refuse(int status, std::string_view note, const Body& body, std::string extra = {}) const;
  bool any_origin_ = false;
  std::vector<WebOrigin> allowed_;
  Body upgrade_page_, bad_page_, origin_page_;
};

// The head of the 101 that switches a connection to WebSocket frames.
std::string SwitchingHead(const Handshake& handshake, std::string_view date);

struct ControlFrame {
  std::uint8_t opcode = 0;
  std::string payload;
};

// Reads the client's frames as they arrive, in pieces of any size.
class FrameDecoder {
 public:
  // Appends the payload of binary messages to `stream` and the control frames to `controls`.
  // Returns 0 while the frames are sound, else the close code that says what is wrong; then, as
  // after a close frame, the rest is not read.
  std::uint16_t Feed(std::string_view data, std::string& stream, std::vector<ControlFrame>& controls);

 private:
  std::uint16_t OnHeader();
  std::uint16_t OnFrameEnd(std::vector<ControlFrame>& controls);

  std::array<unsigned char, 14> header_{};
  std::size_t header_have_ = 0, header_need_ = 2;
  bool in_payload_ = false;
  std::uint64_t payload_left_ = 0;
  std::array<unsigned char, 4> mask_{};
  std::size_t mask_at_ = 0;
  std::uint8_t opcode_ = 0;
  bool fin_ = false;
  bool in_message_ = false;  // a binary message's first frame came, its last not yet
  std::size_t message_bytes_ = 0;
  std::string control_;
  bool done_ = false;  // a close frame came, or a fault
  std::uint16_t failure_ = 0;
};

// A frame of the server's (unmasked, final): its head, for a payload of `length` bytes.
std::string FrameHead(std::uint8_t opcode, std::size_t length);
std::string CloseFrame(std::uint16_t code);

// A connection after its handshake: the frames read and those to send.
struct WebSocketLink {
  // Decodes bytes of the client's: binary messages' bytes go to `stream`, pings get their pongs
  // in `pongs`; a close frame sets `peer_closed`, a fault `failure`.
  void Feed(std::string_view bytes);

  FrameDecoder decoder;
  std::string stream;  // bytes of the messages not yet taken by the request reader
  std::string pongs;   // frames waiting to be written
  std::string out;     // frames being written
  std::string frame_head, close_frame;
  std::uint16_t failure = 0;
  bool peer_closed = false;
  std::array<char, kMaxFramePayload + 14> raw;  // what a read takes from the socket
};

}  // namespace server
