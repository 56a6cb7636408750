#pragma once
// Addresses, networks and names kept out of the ranking.
#include <array>
#include <asio/ip/address.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace server {

// An IPv4 or IPv6 network. An IPv6 client is counted by its /64, as the connection limits count
// it (one host normally holds all of it and may take any address in it), so an IPv6 network
// narrower than a /64 is widened to its /64.
struct Network {
  bool v6 = false;
  std::array<unsigned char, 16> bytes{};  // masked; an IPv4 one in the first four
  int prefix = 0;

  bool Contains(const asio::ip::address& address) const;
  // "192.0.2.7", "192.0.2.0/24", "2001:db8:1:2::/64": the form stored and shown.
  std::string ToString() const;
};

// "ADDR" or "ADDR/BITS" (IPv4 or IPv6; an IPv4-mapped IPv6 address is the IPv4 one). Nothing
// when it is neither.
std::optional<Network> ParseNetwork(std::string_view text);

class BanList {
 public:
  // The stored forms: networks as ToString() gives them, names as the admin typed them.
  void Set(const std::vector<std::string>& networks, const std::vector<std::string>& names);
  bool Empty() const { return networks_.empty() && names_.empty(); }
  bool AddressBanned(const asio::ip::address& address) const;
  // Names are compared as a reader sees them (see NormaliseForMatching).
  bool NameBanned(std::string_view utf8_name) const;

 private:
  std::vector<Network> networks_;
  std::vector<std::string> names_;  // normalised, sorted
};

}  // namespace server
