#include "platform/server_io.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

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

namespace {

// The path with every symbolic link resolved; empty when it cannot be.
std::string RealPath(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
  return real ? std::string(real.get()) : std::string();
}

FileStamp StampOf(const struct stat& st) {
  return {static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino),
          static_cast<unsigned long long>(st.st_size),
          static_cast<long long>(st.st_mtim.tv_sec) * 1'000'000'000LL + st.st_mtim.tv_nsec,
          static_cast<long long>(st.st_ctim.tv_sec) * 1'000'000'000LL + st.st_ctim.tv_nsec};
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

BeneathResult ReadFileBeneath(const std::string& root, const std::string& relative, std::size_t max_bytes,
                              const FileStamp* known, FileStamp& stamp, std::string& content) {
  std::string real_root = RealPath(root);
  if (real_root.empty()) return BeneathResult::kMissing;
  std::string beneath = real_root.ends_with('/') ? real_root : real_root + "/";
  std::string path = beneath + relative;
  // Non-blocking, so that a named pipe put there cannot hold the server up; it is no file anyway.
  Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (file.get() < 0) return errno == ENOENT || errno == ENOTDIR ? BeneathResult::kMissing : BeneathResult::kError;
  struct stat opened {};
  if (::fstat(file.get(), &opened) != 0) return BeneathResult::kError;
  // The file opened must be the one whose real path lies beneath the root: a link that leads
  // out, or one changed between the two looks, is refused.
  std::string real = RealPath(path);
  struct stat found {};
  if (real.empty() || real.compare(0, beneath.size(), beneath) != 0 || ::stat(real.c_str(), &found) != 0 ||
      found.st_dev != opened.st_dev || found.st_ino != opened.st_ino)
    return BeneathResult::kOutside;
  if (!S_ISREG(opened.st_mode)) return BeneathResult::kNotFile;
  stamp = StampOf(opened);
  if (stamp.size > max_bytes) return BeneathResult::kTooLarge;
  if (known && *known == stamp) return BeneathResult::kFile;
  content.resize(static_cast<std::size_t>(stamp.size));
  std::size_t got = 0;
  while (got < content.size()) {
    ssize_t n = ::read(file.get(), content.data() + got, content.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return BeneathResult::kError;
    if (n == 0) break;  // shortened while read: what is there now
    got += static_cast<std::size_t>(n);
  }
  content.resize(got);
  stamp.size = got;
  return BeneathResult::kFile;
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace platform
