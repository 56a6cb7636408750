#pragma once
// Installs of this build into temporary prefixes, and the checks that the installed game and the
// packaged one share.
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// cmake --install of one component of this build into `prefix` (a test failure if it fails).
void InstallComponent(const std::string& component, const std::filesystem::path& prefix);

// Runs a command to its end; its stdout and stderr together.
std::string RunAndCaptureAll(const std::vector<std::string>& argv, int* exit_status);

// The value of `key` in the [Desktop Entry] group, or empty.
std::string DesktopEntryValue(const std::filesystem::path& entry, const std::string& key);

// Width and height from a PNG's header; nothing when it is not a PNG.
std::optional<std::pair<int, int>> PngSize(const std::filesystem::path& png);

// Starts the game by the entry's Exec line, its program looked up under `root` (empty: as it
// stands), from a directory of its own under `work` with a fresh HOME there, under a virtual X
// server: checks that the window opens with its icon and that SIGTERM writes hisc.dat under that
// HOME's .local/share/velkor/ and nowhere else.
void ExpectMenuStart(const std::filesystem::path& entry, const std::filesystem::path& root,
                     const std::filesystem::path& work);

}  // namespace testing_support
