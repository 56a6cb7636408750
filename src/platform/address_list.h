#pragma once
// The IPv4 addresses of a name lookup's answer, on either system's getaddrinfo. Include it after
// the system's socket headers.
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

}  // namespace platform::sockets
