// The ranking host in use and the check of one a player gives.
#include <algorithm>

#include "ranking/ranking_host.h"

namespace ranking {
namespace {

std::optional<std::string>& Chosen() {
  static std::optional<std::string> host;
  return host;
}

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_';
}

}  // namespace

const std::string& RankingHost() { return Chosen() ? *Chosen() : BuiltInRankingHost(); }

void UseRankingHost(std::string host) { Chosen() = std::move(host); }

std::optional<std::string> CheckRankingHost(std::string_view text, std::string& why) {
  auto refuse = [&](std::string reason) -> std::optional<std::string> {
    why = std::move(reason);
    return std::nullopt;
  };
  if (text.empty()) return refuse("no host given");
  // The most telling reason first: what people paste is a whole address.
  if (text.find("://") != std::string_view::npos)
    return refuse("give the host alone (host or host:port), without a scheme such as http://");
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u == 0x7F) return refuse("a host has no spaces or control characters");
  }
  if (text.find('/') != std::string_view::npos || text.find('\\') != std::string_view::npos)
    return refuse("a host has no path: give host or host:port alone");
  if (text.find('@') != std::string_view::npos) return refuse("a host has no user name or password ('@')");
  if (text.front() == '[' || std::count(text.begin(), text.end(), ':') > 1)
    return refuse("IPv6 addresses are not supported (the game connects over IPv4): use a host name or an IPv4 address");

  std::string_view name = text;
  std::string port;
  if (std::size_t colon = text.find(':'); colon != std::string_view::npos) {
    name = text.substr(0, colon);
    std::string_view digits = text.substr(colon + 1);
    unsigned long value = 0;
    bool ok = !digits.empty();
    for (char c : digits) {
      if (c < '0' || c > '9') ok = false;
      if (ok && value <= 65535) value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    if (!ok || value < 1 || value > 65535) return refuse("the port must be a number from 1 to 65535");
    port = ":" + std::to_string(value);
  }
  if (name.empty()) return refuse("no host name before the port");
  if (name.size() > 253) return refuse("the host name is longer than 253 characters");
  for (char c : name) {
    if (static_cast<unsigned char>(c) >= 0x80)
      return refuse("write an international host name in its ASCII form (xn--...)");
    if (!IsNameChar(c))
      return refuse(std::string("a host name has only letters, digits, '-', '_' and '.', not '") + c + "'");
  }
  if (name.front() == '.' || name.back() == '.' || name.find("..") != std::string_view::npos)
    return refuse("a host name has no empty part between its dots");
  for (std::size_t at = 0; at <= name.size();) {
    std::size_t dot = std::min(name.find('.', at), name.size());
    if (name[at] == '-' || name[dot - 1] == '-') return refuse("no part of a host name begins or ends with '-'");
    at = dot + 1;
  }
  return std::string(name) + port;
}

}  // namespace ranking
