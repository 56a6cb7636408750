#include "platform/files.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/codec.h"

namespace platform {
namespace {

std::string Native(const std::string& name) { return Cp932ToUtf8(name); }

std::string Reason(const std::string& what, int err) { return what + ": " + std::strerror(err); }

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

bool NameTaken(const std::string& name) {
  struct stat st;
  return ::lstat(Native(name).c_str(), &st) == 0;
}

std::optional<std::string> ReadWholeFile(const std::string& name, std::string& error) {
  const std::string native = Native(name);
  // Not blocking: a pipe in the file's place must not hang the program until a writer comes.
  int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    error = Reason(native, errno);
    return std::nullopt;
  }
  struct stat st;
  const bool stated = ::fstat(fd, &st) == 0;
  if (!stated || !S_ISREG(st.st_mode)) {
    error = !stated ? Reason(native, errno) : S_ISDIR(st.st_mode) ? Reason(native, EISDIR) : native + ": not a regular file";
    ::close(fd);
    return std::nullopt;
  }
  std::string out;
  char buf[8192];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = Reason(native, errno);
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return out;
}

bool ReplaceFileAtomically(const std::string& name, std::string_view bytes, std::string& error) {
  const std::string native = Native(name);
  const std::string temp = native + ".tmp" + std::to_string(::getpid());
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = Reason(temp, errno);
    return false;
  }
  if (!WriteAll(fd, bytes) || ::fsync(fd) != 0) {
    error = Reason(native, errno);
    ::close(fd);
    ::unlink(temp.c_str());
    return false;
  }
  if (::close(fd) != 0) {
    error = Reason(native, errno);
    ::unlink(temp.c_str());
    return false;
  }
  if (::rename(temp.c_str(), native.c_str()) != 0) {
    error = Reason(native, errno);
    ::unlink(temp.c_str());
    return false;
  }
  // Make the rename itself durable.
  std::string dir = ".";
  if (auto slash = native.rfind('/'); slash != std::string::npos) dir = slash == 0 ? "/" : native.substr(0, slash);
  int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

bool RenameFile(const std::string& from, const std::string& to, std::string& error) {
  const std::string native_from = Native(from), native_to = Native(to);
  if (::rename(native_from.c_str(), native_to.c_str()) != 0) {
    error = Reason(native_to, errno);
    return false;
  }
  return true;
}

bool EnterUserDataDirectory(std::string_view program, std::string& where, std::string& error) {
  // XDG_DATA_HOME counts only when absolute; otherwise the default under the home directory.
  std::string base;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') {
      const struct passwd* pw = ::getpwuid(::getuid());
      home = pw ? pw->pw_dir : nullptr;
    }
    if (!home || home[0] != '/') {
      error = "no home directory to keep the data in (set HOME or XDG_DATA_HOME)";
      return false;
    }
    base = std::string(home) + "/.local/share";
  }
  where = base + "/" + std::string(program);
  // Each missing component in turn, as mkdir -p does, with the mode the XDG rules ask for.
  for (std::size_t slash = 1; slash != std::string::npos;) {
    slash = where.find('/', slash + 1);
    const std::string part = where.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      error = Reason(part, errno);
      return false;
    }
  }
  if (::chdir(where.c_str()) != 0) {
    error = Reason(where, errno);
    return false;
  }
  return true;
}

void ReportToStderr(std::string_view cp932) {
  std::string line = Cp932ToUtf8(cp932);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace platform
