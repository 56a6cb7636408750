#pragma once
// IPv4 addresses on either system's socket calls: the answer of a name lookup (getaddrinfo), and
// the socket address of an address and port. Include it after the system's socket headers.
#include <cstdint>
#include <vector>

namespace platform::sockets {

template <typename AddressInfo>
void CollectIPv4(const AddressInfo* list, std::vector<std::uint32_t>& addresses) {
  for (const AddressInfo* ai = list; ai; ai = ai->ai_next) {
    if (ai->ai_family == AF_INET && ai->ai_addrlen >= sizeof(sockaddr_in))
      addresses.push_back(reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr);
  }
}

// An address in network byte order and a port in host byte order.
inline sockaddr_in IPv4SocketAddress(std::uint32_t address, std::uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = address;
  return a;
}

}  // namespace platform::sockets
