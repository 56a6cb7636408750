#include "platform/service_socket.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string_view>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace platform {
namespace {

bool ParseCount(const char* text, long& value) {
  if (!text) return false;
  std::string_view s(text);
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  return ec == std::errc() && end == s.data() + s.size();
}

}  // namespace

std::optional<ServiceSocket> TakeServiceSocket(std::string& error) {
  error.clear();
#ifdef _WIN32
  return std::nullopt;  // no socket activation there
#else
  constexpr int kFirstPassed = 3;
  long pid = 0, count = 0;
  bool for_us = ParseCount(std::getenv("LISTEN_PID"), pid) && pid == static_cast<long>(getpid());
  bool counted = ParseCount(std::getenv("LISTEN_FDS"), count);
  if (!for_us) return std::nullopt;  // absent, or inherited from a parent it was meant for
  unsetenv("LISTEN_PID");
  unsetenv("LISTEN_FDS");
  unsetenv("LISTEN_FDNAMES");
  if (!counted || count < 1) {
    error = "LISTEN_FDS does not count a passed socket";
    return std::nullopt;
  }
  int fd = kFirstPassed;
  int type = 0, listening = 0;
  sockaddr_storage address{};
  socklen_t length = sizeof type;
  if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) != 0) {
    error = "descriptor 3 from the service manager: " + std::string(std::strerror(errno));
    return std::nullopt;
  }
  length = sizeof listening;
  getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &length);
  socklen_t address_length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &address_length);
  if (type != SOCK_STREAM || !listening || (address.ss_family != AF_INET && address.ss_family != AF_INET6)) {
    error = "descriptor 3 from the service manager is not a listening TCP socket";
    return std::nullopt;
  }
  // The other passed sockets, if any, are not used; the first is kept from programs it starts.
  fcntl(fd, F_SETFD, FD_CLOEXEC);
  return ServiceSocket{fd, address.ss_family == AF_INET6};
#endif
}

}  // namespace platform
