#pragma once
// The requests to end that do not come as window events: on Windows Ctrl+C, the console closing
// and the end of the session (on Linux SDL already turns SIGINT and SIGTERM into quit events).
// Each becomes a quit event, so the program ends the normal way and saves what it keeps.
#include <functional>

namespace platform {

// Call once the video system has started, on the user-interface thread. `save_now` is called
// there when the session ends and the system will not wait for the program to end by itself.
void WatchSessionEnd(std::function<void()> save_now);

}  // namespace platform
