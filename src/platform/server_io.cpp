#include "platform/server_io.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace platform {

std::size_t RaiseOpenFileLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
  if (limit.rlim_cur != limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    // An unlimited hard limit may still be refused as a soft one; then the old one stands.
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  return limit.rlim_cur == RLIM_INFINITY ? 0 : static_cast<std::size_t>(limit.rlim_cur);
}

bool WriteToStderr(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(STDERR_FILENO, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

std::string UserName() {
  uid_t uid = getuid();
  std::string name = std::to_string(uid);
  std::vector<char> buf(16384);
  passwd pw{};
  passwd* found = nullptr;
  if (getpwuid_r(uid, &pw, buf.data(), buf.size(), &found) == 0 && found) name = found->pw_name;
  if (uid == 0) {
    const char* by = std::getenv("SUDO_USER");
    if (by && *by) name += std::string(" (sudo by ") + by + ")";
  }
  return name;
}

std::vector<std::string> GiveToOwnerOf(const std::string& owner_of, const std::vector<std::string>& files) {
  std::vector<std::string> changed;
  struct stat owner {};
  if (geteuid() != 0 || ::stat(owner_of.c_str(), &owner) != 0 || owner.st_uid == 0) return changed;
  for (const std::string& file : files) {
    // Opened without following a link and changed through the descriptor: the directory is the
    // owner's, who must not get root to hand over some other file by a link put in its place.
    int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == 0 && st.st_nlink == 1 &&
        ::fchown(fd, owner.st_uid, owner.st_gid) == 0)
      changed.push_back(file);
    ::close(fd);
  }
  return changed;
}

}  // namespace platform
