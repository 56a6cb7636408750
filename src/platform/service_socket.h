#pragma once
// A listening socket handed over by the service manager (socket activation): LISTEN_PID names
// the process it is meant for and LISTEN_FDS counts the sockets passed from descriptor 3 on.
#include <optional>
#include <string>

namespace platform {

struct ServiceSocket {
  int handle = -1;
  bool ipv6 = false;  // its address family; false: IPv4
};

// The first socket passed to this process, once: the variables are removed so that programs it
// starts do not take them for theirs. Nothing when none was passed; then `error` says why when
// the variables were meant for this process but name no usable listening TCP socket.
std::optional<ServiceSocket> TakeServiceSocket(std::string& error);

}  // namespace platform
