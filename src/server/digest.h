#pragma once
// SHA-1 and base64: what the WebSocket handshake is made of, and the static files' ETags.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace server {

std::array<std::uint8_t, 20> Sha1(std::string_view data);
std::string Base64(std::string_view bytes);
// Lower-case hexadecimal.
std::string Hex(std::string_view bytes);

}  // namespace server
