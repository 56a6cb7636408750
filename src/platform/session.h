#pragma once
// The requests to end that do not come as window events: on Windows Ctrl+C, the console closing
// and the end of the session (on Linux SDL already turns SIGINT and SIGTERM into quit events).
// Each becomes a quit event, so the program ends the normal way and saves what it keeps.
namespace platform {

// Call once the video system has started.
void WatchSessionEnd();

}  // namespace platform
