#include <asio/ip/address.hpp>
#include <charconv>

#include "server/server.h"
#include "server/websocket.h"

namespace server {
namespace {

template <typename T>
bool ParseNumber(std::string_view text, T min, T max, T& value) {
  T v{};
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || v < min || v > max) return false;
  value = v;
  return true;
}

// "127.0.0.1:8080", "[::1]:8080", "localhost:80".
bool ParseListen(std::string_view text, Options& options) {
  std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  std::string_view host = text.substr(0, colon);
  if (host.front() == '[') {
    if (host.size() < 3 || host.back() != ']') return false;
    host = host.substr(1, host.size() - 2);
  } else if (host.find(':') != std::string_view::npos) {
    return false;  // an IPv6 address needs its brackets
  }
  unsigned short port;
  if (!ParseNumber<unsigned short>(text.substr(colon + 1), 0, 65535, port)) return false;
  options.listen_host = std::string(host);
  options.listen_port = port;
  return true;
}

}  // namespace

std::optional<Options> ParseOptions(const std::vector<std::string>& args, bool& help, std::string& error) {
  Options options;
  help = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i], value;
    bool inline_value = false;
    if (std::size_t eq = name.find('='); name.starts_with("--") && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
      inline_value = true;
    }
    if (name == "--help" || name == "-h") {
      help = true;
      return options;
    }
    if (name == "--version") {
      options.show_version = true;
      return options;
    }
    if (name != "--listen" && name != "--db" && name != "--max-connections" && name != "--max-per-address" &&
        name != "--max-requests-per-connection" && name != "--trusted-proxy" && name != "--trusted-http-proxy" &&
        name != "--web" && name != "--allow-origin") {
      error = "unknown option " + args[i];
      return std::nullopt;
    }
    if (!inline_value) {
      if (i + 1 >= args.size()) {
        error = name + " needs a value";
        return std::nullopt;
      }
      value = args[++i];
    }
    bool ok = true;
    if (name == "--listen") {
      ok = ParseListen(value, options);
    } else if (name == "--db") {
      ok = !value.empty();
      options.db_path = value;
    } else if (name == "--web") {
      ok = !value.empty();
      options.web_dir = value;
    } else if (name == "--allow-origin") {
      ok = value == "*" || ParseOrigin(value).has_value();
      options.allowed_origins.push_back(value);
    } else if (name == "--max-connections") {
      ok = ParseNumber<std::size_t>(value, 1, 100000, options.max_connections);
    } else if (name == "--max-per-address") {
      ok = ParseNumber<std::size_t>(value, 1, 100000, options.max_per_address);
    } else if (name == "--max-requests-per-connection") {
      ok = ParseNumber<std::size_t>(value, 1, 1000000, options.max_requests_per_connection);
    } else {
      // Checked here, so that a mistyped address is a usage error before anything is opened.
      asio::error_code ec;
      asio::ip::make_address(value, ec);
      ok = !ec;
      (name == "--trusted-proxy" ? options.trusted_proxy : options.trusted_http_proxy) = value;
    }
    if (!ok) {
      error = "bad value for " + name + ": " + value;
      return std::nullopt;
    }
  }
  return options;
}

}  // namespace server
