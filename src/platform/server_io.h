#pragma once
// What the ranking server needs from the system beyond sockets: its open-files limit and a
// standard error written without the C library's stream lock.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Raises the soft limit of open files as far as the hard limit allows. Returns the limit now in
// force, or 0 when the system sets none.
std::size_t RaiseOpenFileLimit();

// Writes all of `bytes` to standard error, waiting for the reader as long as it takes. False when
// it cannot be written (the reader is gone).
bool WriteToStderr(std::string_view bytes);

// Who runs the program, for the admin's log: the user name (the number when it has none), and
// for root under sudo the user who called sudo too: "root (sudo by alice)".
std::string UserName();

// Run as root on a database of another owner (the service's), files that SQLite made beside it
// must stay the owner's, or the service could no longer open them. Gives each of `files` that
// exists and belongs to root the owner and group of `owner_of`. Does nothing when not run as
// root. Returns the files it changed.
std::vector<std::string> GiveToOwnerOf(const std::string& owner_of, const std::vector<std::string>& files);

}  // namespace platform

namespace platform {

// What tells one version of a file from the next.
struct FileStamp {
  unsigned long long device = 0, inode = 0, size = 0;
  // The change time too: a file rewritten in place may be given its old modification time back.
  long long modified_ns = 0, changed_ns = 0;
  bool operator==(const FileStamp&) const = default;
};

enum class BeneathResult {
  kFile,      // a regular file beneath the root; its stamp filled in
  kMissing,   // nothing there, or the root itself is missing
  kNotFile,   // a directory, a device, a pipe...
  kOutside,   // found only by leaving the root, through a symbolic link
  kTooLarge,  // larger than asked for
  kError,     // it could not be read
};

// Opens `relative` (names joined by '/', already checked to hold no "..", "." or empty names)
// beneath the directory `root`. A symbolic link may lead elsewhere within the root, never out of
// it. Reads the file into `content` unless its stamp equals `known`.
BeneathResult ReadFileBeneath(const std::string& root, const std::string& relative, std::size_t max_bytes,
                              const FileStamp* known, FileStamp& stamp, std::string& content);

// Whether `path` is a directory (following symbolic links).
bool IsDirectory(const std::string& path);

}  // namespace platform
