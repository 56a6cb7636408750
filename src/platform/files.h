#pragma once
// Whole-file access for the program's data files. Names are CP932, as the program holds them.
#include <optional>
#include <string>
#include <string_view>

namespace platform {

bool FileExists(const std::string& name);

// The file's bytes, or nothing with `error` set to a readable reason.
std::optional<std::string> ReadWholeFile(const std::string& name, std::string& error);

// Replaces `name` with `bytes` so that the old contents stay whole unless the new ones are
// completely on disk: writes a temporary file in the same directory, flushes it, renames it
// over the old file and flushes the directory. On failure `error` says why and the old file is
// untouched.
bool ReplaceFileAtomically(const std::string& name, std::string_view bytes, std::string& error);

// Writes a report line to standard error (converted to the terminal's UTF-8).
void ReportToStderr(std::string_view cp932);

}  // namespace platform
