#pragma once
// Whole-file access for the program's data files. Names are CP932, as the program holds them.
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Whether anything at all (a file, a directory, a pipe, a dangling link) has this name.
bool NameTaken(const std::string& name);

// The file's bytes, or nothing with `error` set to a readable reason. Only a regular file is
// read; anything else (a directory, a pipe) is an error, and never waited on.
std::optional<std::string> ReadWholeFile(const std::string& name, std::string& error);

// Renames `from` to `to`, replacing what `to` names; on failure `error` says why and nothing
// has changed.
bool RenameFile(const std::string& from, const std::string& to, std::string& error);

// Replaces `name` with `bytes` so that the old contents stay whole unless the new ones are
// completely on disk: writes a temporary file in the same directory, flushes it, renames it
// over the old file and flushes the directory. On failure `error` says why and the old file is
// untouched.
bool ReplaceFileAtomically(const std::string& name, std::string_view bytes, std::string& error);

// Makes the user's data directory for `program` the current directory, creating it (and its
// parents, private to the user) when missing, so that the program's data files land there: the
// XDG data directory, $XDG_DATA_HOME/program or ~/.local/share/program. On failure `error` says
// why and the current directory is unchanged. `where` receives the directory (UTF-8).
bool EnterUserDataDirectory(std::string_view program, std::string& where, std::string& error);

// Writes a report line to standard error (converted to the terminal's UTF-8).
void ReportToStderr(std::string_view cp932);

}  // namespace platform
