// Fuzzes the WebSocket: the frames a client sends, in pieces of any size, and the handshake's
// head. The payload a frame reader yields is never more than it was given, pieces or not, and
// the same however the bytes are cut.
#include "server/websocket.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "server/request.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

struct Outcome {
  std::string stream;
  std::vector<server::ControlFrame> controls;
  std::uint16_t failure = 0;
};

Outcome Decode(std::string_view bytes, std::size_t piece) {
  Outcome o;
  server::FrameDecoder decoder;
  for (std::size_t at = 0; at < bytes.size() && !o.failure; at += piece)
    o.failure = decoder.Feed(bytes.substr(at, piece), o.stream, o.controls);
  return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte says where to cut the rest.
  std::size_t piece = data[0] % 32 + 1;
  std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  Outcome whole = Decode(bytes, bytes.size() + 1);
  Outcome cut = Decode(bytes, piece);
  Check(whole.stream.size() <= bytes.size());
  Check(whole.failure == cut.failure);
  Check(whole.failure == 0 || whole.failure == server::ws::kProtocolError ||
        whole.failure == server::ws::kUnsupported || whole.failure == server::ws::kTooBig);
  if (!whole.failure) {
    Check(whole.stream == cut.stream);
    Check(whole.controls.size() == cut.controls.size());
  }
  for (const auto& c : whole.controls) Check(c.payload.size() <= 125);

  // The same bytes as a head asking for the upgrade.
  if (auto head = server::ParseHead(bytes)) {
    server::WebSocketGate gate({"https://games.example.org"});
    server::Handshake h = gate.Check(*head);
    Check(h.status == 101 || h.status == 400 || h.status == 403 || h.status == 426);
    if (h.status == 101)
      Check(h.accept.size() == 28);
    else
      Check(h.body && !h.body->empty());
  }
  return 0;
}
