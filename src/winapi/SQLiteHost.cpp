#include "winapi/SQLiteHost.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::winapi {

namespace {

// Owns a host file descriptor.
class THostFd {
public:
  explicit THostFd(int fd) : fd_(fd) {}
  ~THostFd() {
    if (fd_ >= 0)
      ::close(fd_);
  }
  THostFd(const THostFd&) = delete;
  THostFd& operator=(const THostFd&) = delete;
  int Get() const { return fd_; }

private:
  int fd_;
};

} // namespace

THostEntry HostEntryAt(const std::string& hostPath, std::uint64_t* size) {
  struct stat st {};
  if (::lstat(hostPath.c_str(), &st) != 0)
    return errno == ENOENT || errno == ENOTDIR ? THostEntry::Missing : THostEntry::Other;
  if (!S_ISREG(st.st_mode))
    return THostEntry::Other;
  if (size != nullptr)
    *size = static_cast<std::uint64_t>(st.st_size);
  return THostEntry::PlainFile;
}

bool IsQuietWalDatabase(const std::string& hostPath) {
  const THostFd fd(::open(hostPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (fd.Get() < 0)
    return false;
  char header[20] = {};
  if (::pread(fd.Get(), header, sizeof header, 0) != static_cast<ssize_t>(sizeof header))
    return false;
  if (std::memcmp(header, "SQLite format 3", 16) != 0 || header[18] != 2 || header[19] != 2)
    return false;
  return HostEntryAt(hostPath + "-wal") == THostEntry::Missing;
}

std::string SQLiteFileUri(const std::string& hostPath) {
  std::error_code ec;
  std::string path = std::filesystem::absolute(hostPath, ec).string();
  if (ec)
    path = hostPath;
  std::string uri = "file://";
  AppendUriPath(uri, path, false);
  return uri;
}

} // namespace quillon::winapi
