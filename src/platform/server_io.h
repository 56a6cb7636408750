#pragma once
// What the ranking server needs from the system beyond sockets: its open-files limit and a
// standard error written without the C library's stream lock.
#include <cstddef>
#include <string_view>

namespace platform {

// Raises the soft limit of open files as far as the hard limit allows. Returns the limit now in
// force, or 0 when the system sets none.
std::size_t RaiseOpenFileLimit();

// Writes all of `bytes` to standard error, waiting for the reader as long as it takes. False when
// it cannot be written (the reader is gone).
bool WriteToStderr(std::string_view bytes);

}  // namespace platform
