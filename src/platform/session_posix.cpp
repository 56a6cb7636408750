#include "platform/session.h"

namespace platform {

// SDL's own signal handlers turn SIGINT and SIGTERM into quit events, and the session's end
// (SIGTERM) waits for the program to quit.
void WatchSessionEnd(std::function<void()>) {}

}  // namespace platform
