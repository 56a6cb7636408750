#include "platform/session.h"

namespace platform {

// SDL's own signal handlers turn SIGINT and SIGTERM into quit events.
void WatchSessionEnd() {}

}  // namespace platform
