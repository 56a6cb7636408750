#include "server/bans.h"

#include <algorithm>
#include <charconv>

#include "server/word_filter.h"

namespace server {
namespace {

asio::ip::address Unmapped(const asio::ip::address& a) {
  if (a.is_v6() && a.to_v6().is_v4_mapped()) return asio::ip::make_address_v4(asio::ip::v4_mapped, a.to_v6());
  return a;
}

void Mask(std::array<unsigned char, 16>& bytes, int prefix) {
  for (int i = 0; i < 16; ++i) {
    int keep = std::clamp(prefix - i * 8, 0, 8);
    bytes[static_cast<std::size_t>(i)] &= static_cast<unsigned char>(0xFF00 >> keep);
  }
}

}  // namespace

std::optional<Network> ParseNetwork(std::string_view text) {
  std::size_t slash = text.find('/');
  std::string host(text.substr(0, slash));
  asio::error_code ec;
  asio::ip::address address = asio::ip::make_address(host, ec);
  if (ec) return std::nullopt;
  bool mapped = address.is_v6() && address.to_v6().is_v4_mapped();
  address = Unmapped(address);
  Network n;
  n.v6 = address.is_v6();
  int max = n.v6 ? 128 : 32;
  n.prefix = max;
  if (slash != std::string_view::npos) {
    std::string_view bits = text.substr(slash + 1);
    int value = -1;
    auto [end, err] = std::from_chars(bits.data(), bits.data() + bits.size(), value);
    if (err != std::errc() || end != bits.data() + bits.size() || bits.empty()) return std::nullopt;
    if (mapped) value -= 96;  // ::ffff:192.0.2.0/120 is 192.0.2.0/24
    if (value < 0 || value > max) return std::nullopt;
    n.prefix = value;
  }
  if (n.v6) {
    n.prefix = std::min(n.prefix, 64);
    n.bytes = address.to_v6().to_bytes();
  } else {
    auto b = address.to_v4().to_bytes();
    std::copy(b.begin(), b.end(), n.bytes.begin());
  }
  Mask(n.bytes, n.prefix);
  return n;
}

bool Network::Contains(const asio::ip::address& address) const {
  asio::ip::address a = Unmapped(address);
  if (a.is_v6() != v6) return false;
  std::array<unsigned char, 16> b{};
  if (v6) {
    b = a.to_v6().to_bytes();
  } else {
    auto four = a.to_v4().to_bytes();
    std::copy(four.begin(), four.end(), b.begin());
  }
  Mask(b, prefix);
  return b == bytes;
}

std::string Network::ToString() const {
  std::string text;
  if (v6) {
    text = asio::ip::address_v6(bytes).to_string();
  } else {
    text = asio::ip::address_v4(asio::ip::address_v4::bytes_type{bytes[0], bytes[1], bytes[2], bytes[3]}).to_string();
  }
  if (prefix != (v6 ? 128 : 32)) text += "/" + std::to_string(prefix);
  return text;
}

void BanList::Set(const std::vector<std::string>& networks, const std::vector<std::string>& names) {
  networks_.clear();
  names_.clear();
  for (const std::string& text : networks)
    if (auto n = ParseNetwork(text)) networks_.push_back(*n);
  for (const std::string& name : names) names_.push_back(NormaliseForMatching(name));
  std::sort(names_.begin(), names_.end());
}

bool BanList::AddressBanned(const asio::ip::address& address) const {
  return std::any_of(networks_.begin(), networks_.end(), [&](const Network& n) { return n.Contains(address); });
}

bool BanList::NameBanned(std::string_view utf8_name) const {
  if (names_.empty()) return false;
  return std::binary_search(names_.begin(), names_.end(), NormaliseForMatching(utf8_name));
}

}  // namespace server
