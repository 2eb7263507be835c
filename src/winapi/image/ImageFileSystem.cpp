#include "winapi/image/ImageFileSystem.h"

#include "winapi/CaseFold.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <linux/openat2.h>
#include <new>
#include <optional>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

namespace quillon::winapi::image {

namespace {

constexpr std::int64_t kTicksPerSecond = 10000000;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kFileTimeUnixOffsetSeconds = 11644473600;

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// --- Names without regard to case ------------------------------------------------------------

std::u32string FoldName(std::string_view s) {
  std::u32string out;
  FoldInto(s, out);
  return out;
}

// "*" and "?" over folded names; iterative, so a long mask costs time, never stack.
bool MatchFolded(std::u32string_view name, std::u32string_view mask) {
  std::size_t n = 0, m = 0;
  std::size_t starMask = std::u32string_view::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == U'*') {
      starMask = m++;
      starName = n;
    } else if (m < mask.size() && (mask[m] == U'?' || mask[m] == name[n])) {
      ++n;
      ++m;
    } else if (starMask != std::u32string_view::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == U'*')
    ++m;
  return m == mask.size();
}

// A mask folded once, matched against many names (a folder listing).
class TWildcard {
public:
  explicit TWildcard(std::string_view mask) : mask_(FoldName(mask)) {}

  bool Matches(std::string_view name) {
    if (name.empty() || mask_.empty())
      return false;
    FoldInto(name, name_);
    const std::u32string_view m = mask_;
    // "x.*" also matches "x": the dot may stand for the end of a name without one ("*.*" = all).
    if (m.size() >= 2 && m.substr(m.size() - 2) == U".*")
      return MatchFolded(name_, m) || MatchFolded(name_, m.substr(0, m.size() - 2));
    // A trailing dot asks for names without an extension ("*." = every name without a dot).
    if (m.back() == U'.') {
      const std::size_t keep = m.find_last_not_of(U'.');
      if (keep == std::u32string_view::npos) // only dots: "." and ".." name themselves
        return name_ == m;
      return name_.find(U'.') == std::u32string::npos && MatchFolded(name_, m.substr(0, keep + 1));
    }
    return MatchFolded(name_, m);
  }

private:
  std::u32string mask_;
  std::u32string name_; // reused between names
};

bool HasWildcard(std::string_view s) {
  return s.find_first_of("*?") != std::string_view::npos;
}

// --- Host entries ----------------------------------------------------------------------------

// A symbolic link is followed at most this many times in one path, as Linux does; a loop of
// links then ends as an unresolvable name instead of a hang.
constexpr int kMaxLinksFollowed = 40;

} // namespace

struct TEntryInfo {
  bool directory = false;
  bool regular = false; // a plain file, not a device, pipe or link
  bool link = false;    // the entry itself is a symbolic link (not followed)
  bool readOnly = false;
  std::uint64_t size = 0;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint32_t mode = 0;
  std::uint32_t uid = 0;
  std::uint32_t gid = 0;
  FILETIME creation, lastAccess, lastWrite;
};

namespace {

FILETIME ToFileTime(const struct statx_timestamp& t) {
  std::int64_t seconds = t.tv_sec;
  if (seconds < -kFileTimeUnixOffsetSeconds)
    return {};
  constexpr std::int64_t maxSeconds =
      std::numeric_limits<std::int64_t>::max() / kTicksPerSecond - kFileTimeUnixOffsetSeconds - 1;
  seconds = std::min(seconds, maxSeconds);
  return U64ToFileTime(
      static_cast<std::uint64_t>((seconds + kFileTimeUnixOffsetSeconds) * kTicksPerSecond) +
      t.tv_nsec / 100);
}

// Whether entries may be written at all: a drive served read-only, or a host mount that is.
struct TWriteContext {
  bool driveReadOnly = false;
  std::optional<bool> readOnlyMount; // known for a folder listing; asked per entry otherwise
};

// Stats one entry of a folder without following a link (a link reports itself). The creation
// time is the birth time where the host file system keeps one, else the status-change time.
//
// Windows keeps READONLY as a flag; the host's nearest equivalent is "no write bit at all" (which
// also holds for root), a read-only drive or mount, or "not writable by us".
bool StatEntry(int dirFd, const char* name, TEntryInfo& info, int& err,
               const TWriteContext& context, int extraFlags = 0) {
  struct statx sx {};
  constexpr unsigned mask = STATX_BASIC_STATS | STATX_BTIME;
  if (statx(dirFd, name, AT_STATX_SYNC_AS_STAT | AT_SYMLINK_NOFOLLOW | extraFlags, mask, &sx) !=
      0) {
    err = errno;
    return false;
  }
  info = {};
  info.mode = sx.stx_mode;
  info.uid = sx.stx_uid;
  info.gid = sx.stx_gid;
  info.directory = S_ISDIR(sx.stx_mode);
  info.regular = S_ISREG(sx.stx_mode);
  info.link = S_ISLNK(sx.stx_mode);
  info.size = info.directory ? 0 : sx.stx_size;
  info.device = (static_cast<std::uint64_t>(sx.stx_dev_major) << 32) | sx.stx_dev_minor;
  info.inode = sx.stx_ino;
  info.lastWrite = ToFileTime(sx.stx_mtime);
  info.lastAccess = ToFileTime(sx.stx_atime);
  info.creation = ToFileTime((sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_ctime);
  if (info.directory || info.link) {
    info.readOnly = false;
  } else if (context.driveReadOnly || (sx.stx_mode & 0222) == 0) {
    info.readOnly = true;
  } else if (context.readOnlyMount) {
    const uid_t me = geteuid();
    if (*context.readOnlyMount)
      info.readOnly = true;
    else if (me == 0)
      info.readOnly = false;
    else if (sx.stx_uid == me)
      info.readOnly = (sx.stx_mode & S_IWUSR) == 0;
    else
      info.readOnly = faccessat(dirFd, name, W_OK, AT_EACCESS) != 0;
  } else {
    info.readOnly = faccessat(dirFd, name, W_OK, AT_EACCESS) != 0;
  }
  return true;
}

DWORD AttributesOf(const TEntryInfo& info) {
  DWORD a = info.directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if (info.readOnly)
    a |= FILE_ATTRIBUTE_READONLY;
  return a;
}

void FillFindData(const std::string& name, const TEntryInfo& info, WIN32_FIND_DATA& data) {
  data.dwFileAttributes = AttributesOf(info);
  data.ftCreationTime = info.creation;
  data.ftLastAccessTime = info.lastAccess;
  data.ftLastWriteTime = info.lastWrite;
  data.nFileSize = info.size;
  data.cFileName = name;
}

// The Win32 code of a failed host call that changes the file system.
DWORD ErrorFromErrno(int err) {
  switch (err) {
  case ENOENT:
  case ENOTDIR:
  case ENAMETOOLONG:
    return ERROR_PATH_NOT_FOUND;
  case ELOOP: // a link where none may be: it appeared after the path was resolved
    return ERROR_CANT_RESOLVE_FILENAME;
  case EEXIST:
    return ERROR_ALREADY_EXISTS;
  case ENOTEMPTY:
    return ERROR_DIR_NOT_EMPTY;
  case EXDEV:
    return ERROR_NOT_SAME_DEVICE;
  case ENOSPC:
  case EDQUOT:
  case EFBIG:
    return ERROR_DISK_FULL;
  case ENOMEM:
    return ERROR_NOT_ENOUGH_MEMORY;
  case ETXTBSY:
    return ERROR_SHARING_VIOLATION;
  default: // EACCES, EPERM, EROFS, EBUSY, EISDIR, EINVAL …
    return ERROR_ACCESS_DENIED;
  }
}

DWORD WriteErrorFromErrno(int err) {
  switch (err) {
  case ENOENT:
  case ENOTDIR:
  case ENAMETOOLONG:
    return ERROR_PATH_NOT_FOUND;
  case ELOOP:
    return ERROR_CANT_RESOLVE_FILENAME;
  case EEXIST:
    return ERROR_FILE_EXISTS;
  case EACCES:
  case EPERM:
  case EROFS:
  case EISDIR:
    return ERROR_ACCESS_DENIED;
  case ETXTBSY:
    return ERROR_SHARING_VIOLATION;
  case ENOSPC:
  case EDQUOT:
  case EFBIG:
    return ERROR_DISK_FULL;
  default:
    return ERROR_WRITE_FAULT;
  }
}

DWORD ReadErrorFromErrno(int err) {
  switch (err) {
  case ENOENT:
    return ERROR_FILE_NOT_FOUND;
  case ELOOP:
    return ERROR_CANT_RESOLVE_FILENAME;
  case EACCES:
  case EPERM:
  case EISDIR:
    return ERROR_ACCESS_DENIED;
  case ENOMEM:
    return ERROR_NOT_ENOUGH_MEMORY;
  default:
    return ERROR_READ_FAULT;
  }
}

struct TDirCloser {
  void operator()(DIR* d) const { closedir(d); }
};
using TDirPtr = std::unique_ptr<DIR, TDirCloser>;

class TFd {
public:
  TFd() = default;
  explicit TFd(int fd) : fd_(fd) {}
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  TFd(TFd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
  TFd& operator=(TFd&& o) noexcept {
    if (this != &o) {
      Reset();
      fd_ = o.fd_;
      o.fd_ = -1;
    }
    return *this;
  }
  ~TFd() { Reset(); }
  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes now and reports the result: a deferred write error may only show here.
  bool Close() { return close(Release()) == 0; }

private:
  void Reset() {
    if (fd_ >= 0)
      close(fd_);
    fd_ = -1;
  }
  int fd_ = -1;
};

TFd Duplicate(int fd) {
  return TFd(fcntl(fd, F_DUPFD_CLOEXEC, 0));
}

// A listing of the folder behind a descriptor (which may be an O_PATH one).
TDirPtr OpenListing(int dirFd) {
  const int fd = openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return nullptr;
  DIR* dir = fdopendir(fd);
  if (dir == nullptr)
    close(fd);
  return TDirPtr(dir);
}

std::string JoinHost(const std::string& folder, std::string_view name) {
  std::string out = folder;
  if (out.empty() || out.back() != '/')
    out += '/';
  out += name;
  return out;
}

// Looks a name up in a folder without regard to case. Of several matches (a case-sensitive host
// may hold "a.txt" and "A.TXT") the smallest name by bytes wins, so the answer does not depend on
// the folder's order.
bool FindNoCase(int dirFd, std::string_view name, std::string& match) {
  const TDirPtr dir = OpenListing(dirFd);
  if (!dir)
    return false;
  bool found = false;
  while (const dirent* e = readdir(dir.get())) {
    const std::string_view entry = e->d_name;
    if (entry == "." || entry == "..")
      continue;
    if (SameName(entry, name) && (!found || entry < match)) {
      match = entry;
      found = true;
    }
  }
  return found;
}

bool WriteAll(int fd, std::string_view data, int& err) {
  while (!data.empty()) {
    const ssize_t n = write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR)
        continue;
      err = errno;
      return false;
    }
    if (n == 0) { // no progress and no reason: the device will not take the rest
      err = EIO;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Copies the rest of one descriptor into another; false with the Win32 error.
bool CopyContent(int in, int out, DWORD& error) {
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const ssize_t n = read(in, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR)
        continue;
      error = ReadErrorFromErrno(errno);
      return false;
    }
    if (n == 0)
      return true;
    int err = 0;
    if (!WriteAll(out, std::string_view(buffer.data(), static_cast<std::size_t>(n)), err)) {
      error = WriteErrorFromErrno(err);
      return false;
    }
  }
}

// Opens a plain file of a folder to read it: never through a link, never a device or pipe
// (which could block or never end), without touching its access time where the host allows.
TFd OpenRegularFile(int dirFd, const std::string& name, int& err) {
  constexpr int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int fd = openat(dirFd, name.c_str(), flags | O_NOATIME);
  if (fd < 0 && errno == EPERM)
    fd = openat(dirFd, name.c_str(), flags);
  if (fd < 0) {
    err = errno;
    return TFd();
  }
  TFd file(fd);
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    err = EACCES;
    return TFd();
  }
  return file;
}

// Whether another program holds the file locked: a byte-range lock (POSIX or open-file
// description locks, as SQLite and the browsers take them) or a whole-file flock. Windows refuses
// to delete or replace a file its browser holds open; this is the nearest the host can tell.
bool HeldByAnotherProgram(int dirFd, const std::string& name) {
  int err = 0;
  const TFd file = OpenRegularFile(dirFd, name, err);
  if (!file.Valid())
    return false;
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  probe.l_start = 0;
  probe.l_len = 0; // the whole file, however far it grows
  if (fcntl(file.Get(), F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK)
    return true;
  if (flock(file.Get(), LOCK_EX | LOCK_NB) != 0)
    return errno == EWOULDBLOCK;
  flock(file.Get(), LOCK_UN);
  return false;
}

// A new file in a folder under a name nobody else can have taken: created exclusively and never
// through a link. Removed unless committed.
class TTempFile {
public:
  TTempFile(int dirFd, mode_t mode) : dirFd_(dirFd) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100 && !fd_.Valid(); ++attempt) {
      std::random_device random;
      name_ = ".quillon-" + std::to_string(getpid()) + "-" + std::to_string(++counter) + "-" +
              std::to_string(random());
      fd_ = TFd(openat(dirFd, name_.c_str(),
                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, mode));
      if (!fd_.Valid() && errno != EEXIST)
        break;
    }
    if (!fd_.Valid())
      error_ = errno;
  }
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;
  ~TTempFile() {
    fd_ = TFd();
    if (!committed_ && !name_.empty() && created())
      unlinkat(dirFd_, name_.c_str(), 0);
  }
  bool Valid() const { return fd_.Valid(); }
  int Error() const { return error_; }
  int Fd() const { return fd_.Get(); }
  const std::string& Name() const { return name_; }
  bool Close() { return fd_.Close(); }
  void Commit() { committed_ = true; }

private:
  bool created() const { return error_ == 0; }
  int dirFd_;
  TFd fd_;
  std::string name_;
  int error_ = 0;
  bool committed_ = false;
};

// Renames without replacing an existing target, atomically where the host file system can.
int RenameNoReplaceAt(int fromDir, const std::string& from, int toDir, const std::string& to) {
  if (renameat2(fromDir, from.c_str(), toDir, to.c_str(), RENAME_NOREPLACE) == 0)
    return 0;
  if (errno != EINVAL && errno != ENOSYS)
    return -1;
  struct stat st {};
  if (fstatat(toDir, to.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    errno = EEXIST;
    return -1;
  }
  return renameat(fromDir, from.c_str(), toDir, to.c_str());
}

// Opens a folder below root the way the walk below would, in one call where the host can: the
// kernel resolves the path inside root (absolute link targets and ".." stop at root, as in a
// chroot), following no magic links. Names must match exactly; invalid when the host cannot, or
// a component is missing, so that the caller falls back to the walk.
TFd OpenFolderInRoot(int rootFd, const std::string& relative) {
  static std::atomic<bool> unavailable{false};
  if (unavailable.load(std::memory_order_relaxed))
    return TFd();
  open_how how{};
  how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
  how.resolve = RESOLVE_IN_ROOT | RESOLVE_NO_MAGICLINKS;
  const long fd = syscall(SYS_openat2, rootFd, relative.c_str(), &how, sizeof how);
  if (fd < 0 && (errno == ENOSYS || errno == EPERM)) // an old kernel or a sandbox that forbids it
    unavailable.store(true, std::memory_order_relaxed);
  return TFd(fd < 0 ? -1 : static_cast<int>(fd));
}

// The host path of an open folder, as the kernel resolved it.
bool HostPathOfFd(int fd, std::string& path) {
  char buffer[PATH_MAX];
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = readlink(link.c_str(), buffer, sizeof buffer);
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer)
    return false;
  path.assign(buffer, static_cast<std::size_t>(n));
  return true;
}

// --- Windows paths ---------------------------------------------------------------------------

// The share that serves the program's own folder, and the drive value that stands for it.
constexpr std::string_view kProgramShare = "\\\\quillon\\program";
constexpr char kProgramShareDrive = '\x01';

struct TParsedPath {
  bool valid = true;
  char drive = 0; // upper-case; 0 when the path names none; kProgramShareDrive for the share
  std::vector<std::string> parts;
  bool trailingSeparator = false;
};

char UpperDriveLetter(char c) {
  if (c >= 'a' && c <= 'z')
    return static_cast<char>(c - 'a' + 'A');
  return c >= 'A' && c <= 'Z' ? c : 0;
}

// Splits a Windows path into its drive and components: "\" and "/" separate, repeated
// separators collapse, "." is dropped and ".." removes the previous component but never
// climbs above the root (Windows resolves both by the text, before it looks at the disk).
TParsedPath ParseWindowsPath(std::string_view path) {
  TParsedPath p;
  if (path.find('\0') != std::string_view::npos) {
    p.valid = false; // the host would see a different, shorter name
    return p;
  }
  // The long-path prefix names the same path, taken as written: no trailing dots are dropped.
  const bool literal = path.starts_with("\\\\?\\");
  if (literal)
    path.remove_prefix(4);
  // "/" separates as "\\" does, in a share's name too.
  const auto isShare = [&](std::string_view share) {
    if (path.size() < share.size() ||
        (path.size() > share.size() && !IsSeparator(path[share.size()])))
      return false;
    std::string prefix(path.substr(0, share.size()));
    std::replace(prefix.begin(), prefix.end(), '/', '\\');
    return SameName(prefix, share);
  };
  if (path.size() >= 2 && path[1] == ':' && UpperDriveLetter(path[0]) != 0) {
    p.drive = UpperDriveLetter(path[0]);
    path.remove_prefix(2);
  } else if (isShare(kProgramShare)) {
    p.drive = kProgramShareDrive;
    path.remove_prefix(kProgramShare.size());
  } else if (constexpr std::string_view unc = "UNC\\quillon\\program"; isShare(unc)) {
    p.drive = kProgramShareDrive; // the long-path form \\?\UNC\server\share
    path.remove_prefix(unc.size());
  }
  p.trailingSeparator = !path.empty() && IsSeparator(path.back());
  std::string_view lastPart;
  std::size_t i = 0;
  while (i < path.size()) {
    while (i < path.size() && IsSeparator(path[i]))
      ++i;
    std::size_t end = i;
    while (end < path.size() && !IsSeparator(path[end]))
      ++end;
    const std::string_view part = path.substr(i, end - i);
    i = end;
    if (!part.empty())
      lastPart = part;
    if (part.empty() || part == ".")
      continue;
    if (part == "..") {
      if (!p.parts.empty())
        p.parts.pop_back();
      continue;
    }
    // A name ending in a single dot is the name without it: C:\Users.\alice is C:\Users\alice.
    // A mask's dot stays ("*." asks for names without an extension).
    if (!literal && part.size() >= 2 && part.back() == '.' && part[part.size() - 2] != '.' &&
        !HasWildcard(part))
      p.parts.emplace_back(part.substr(0, part.size() - 1));
    else
      p.parts.emplace_back(part);
  }
  // Windows drops the dots and spaces that end a path (no name can end in them): "cookies.txt."
  // is cookies.txt. A mask keeps its dot, which asks for names without an extension.
  if (!literal && !p.trailingSeparator && lastPart != "." && lastPart != ".." && !p.parts.empty() &&
      !HasWildcard(p.parts.back())) {
    std::string& last = p.parts.back();
    last.erase(last.find_last_not_of(". ") + 1);
    if (last.empty())
      p.parts.pop_back();
  }
  return p;
}

DWORD NoDriveError(const TParsedPath& p) {
  return p.parts.size() == 1 ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

// Absolute and lexically normal, without a trailing "/" (except for "/" itself).
std::string NormalizeHostPath(const std::string& path) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(path, ec);
  if (ec)
    p = path;
  std::string s = p.lexically_normal().string();
  while (s.size() > 1 && s.back() == '/')
    s.pop_back();
  return s;
}

bool HostContains(const std::string& root, const std::string& path) {
  if (root == "/")
    return !path.empty() && path.front() == '/';
  return path.starts_with(root) && (path.size() == root.size() || path[root.size()] == '/');
}

std::string_view BaseName(std::string_view host) {
  const std::size_t slash = host.rfind('/');
  return slash == std::string_view::npos ? host : host.substr(slash + 1);
}

} // namespace

// --- Resolution ------------------------------------------------------------------------------

struct TImageFileSystem::TFindState {
  std::string folderPath; // Windows path of the folder, for entries that are links
  TDirPtr folder;         // entries are looked up relative to it: no path walk per entry
  TWriteContext context;
  std::vector<std::string> names; // matched at FindFirstFile; stat'ed as they are reported
  std::size_t next = 0;
};

struct TImageFileSystem::TResolved {
  const TDrive* drive = nullptr;
  TFd parent;             // the folder that holds the entry; invalid for a drive root
  std::string parentHost; // host path of that folder
  std::string name;       // the entry's name in it: the one on disk, else as the caller gave it
  std::string host;       // full host path: the resolved existing part, then the tail as given
  std::string givenName;  // the last component as the caller spelled it
  bool isRoot = false;
  bool trailingSeparator = false;
  bool exists = false;
  bool parentExists = false; // the parent is an existing folder, so the entry can be created
  bool throughLink = false;  // the last component was a link that was followed
  DWORD missingError = ERROR_FILE_NOT_FOUND; // what to report when the entry is absent
  TEntryInfo info;                           // valid when exists

  int FolderFd() const { return parent.Get(); }
};

TImageFileSystem::TImageFileSystem(const TImageConfig& config,
                                   std::shared_ptr<TLastError> lastError)
    : config_(config), lastError_(std::move(lastError)) {
  std::map<char, std::string> roots;
  for (const auto& [letter, root] : config_.drives) {
    const char upper = UpperDriveLetter(letter);
    if (upper != 0 && !root.empty())
      roots[upper] = root;
  }
  if (!config_.imageRoot.empty())
    roots['C'] = config_.imageRoot;
  for (const auto& [letter, root] : roots)
    AddDrive(letter, root, false);
  // The program's own folder (where the list file lies) is the one host folder outside the
  // drives the program may read; unless a drive holds it already, it is served read-only as the
  // share \\quillon\program, so that no drive letter an image names leads to the host.
  std::string executable = config_.executablePath;
  if (executable.empty()) {
    std::error_code ec;
    executable = std::filesystem::read_symlink("/proc/self/exe", ec).string();
  }
  if (!executable.empty()) {
    const std::string folder =
        std::filesystem::path(NormalizeHostPath(executable)).parent_path().string();
    const bool reachable = std::any_of(drives_.begin(), drives_.end(), [&](const TDrive& d) {
      return HostContains(d.root, folder) || HostContains(d.canonicalRoot, folder);
    });
    if (!reachable)
      AddDrive(kProgramShareDrive, folder, true);
  }
  // C: is the image; it wins over any other drive with the same root.
  std::stable_partition(drives_.begin(), drives_.end(),
                        [](const TDrive& d) { return d.letter == 'C'; });
}

TImageFileSystem::~TImageFileSystem() {
  for (TDrive& d : drives_)
    if (d.rootFd >= 0)
      close(d.rootFd);
}

void TImageFileSystem::AddDrive(char letter, const std::string& root, bool readOnly) {
  TDrive d;
  d.letter = letter;
  d.readOnly = readOnly;
  d.root = NormalizeHostPath(root);
  // The user named this folder; links on the way to it are the host's own and are followed once
  // here. Inside it, nothing is followed onto the host.
  std::error_code ec;
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(d.root, ec);
  d.canonicalRoot = ec ? d.root : NormalizeHostPath(canonical.string());
  d.rootFd = open(d.canonicalRoot.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  drives_.push_back(std::move(d));
}

std::string TImageFileSystem::RootText(const TDrive& drive) {
  return drive.letter == kProgramShareDrive ? std::string(kProgramShare)
                                            : std::string{drive.letter, ':'};
}

const TImageFileSystem::TDrive* TImageFileSystem::DriveOf(char letter) const {
  for (const TDrive& d : drives_)
    if (d.letter == letter)
      return &d;
  return nullptr;
}

// The common case in few calls: the entry's folder opened by the kernel inside the drive's root,
// then the last name looked up in it. False when that cannot answer (a name in another letter
// case on the way, a missing folder, a link as the last name to follow, a host without the
// call): the walk below then answers, with the same result.
bool TImageFileSystem::WalkAtOnce(const TDrive& drive, const std::vector<std::string>& parts,
                                  TLinkPolicy last, TResolved& r) const {
  std::string relative;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i)
    relative += (i == 0 ? "" : "/") + parts[i];
  TFd folder =
      relative.empty() ? Duplicate(drive.rootFd) : OpenFolderInRoot(drive.rootFd, relative);
  if (!folder.Valid())
    return false;
  std::string host = drive.canonicalRoot;
  if (!relative.empty() &&
      (!HostPathOfFd(folder.Get(), host) || !HostContains(drive.canonicalRoot, host) ||
       host == drive.canonicalRoot))
    return false; // the drive's root itself, or a path the kernel names oddly: let the walk decide
  const TWriteContext context{drive.readOnly, std::nullopt};
  const std::string& given = parts.back();
  std::string name = given;
  TEntryInfo info;
  int err = 0;
  bool found = StatEntry(folder.Get(), name.c_str(), info, err, context);
  if (!found && err == ENOENT && FindNoCase(folder.Get(), given, name))
    found = StatEntry(folder.Get(), name.c_str(), info, err, context);
  if (found && info.link && last == TLinkPolicy::Follow)
    return false;
  if (!found && err != ENOENT && err != EACCES)
    return false;
  r.parentExists = true;
  r.parentHost = host;
  r.exists = found;
  if (found) {
    r.info = info;
    r.name = name;
  } else {
    r.name = given;
    r.missingError = err == EACCES ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
  }
  r.host = JoinHost(host, r.name);
  r.parent = std::move(folder);
  return true;
}

// Walks the components from the drive's root, one folder descriptor at a time, never letting
// the host follow a link: a link is read and its target walked in its place, an absolute target
// from the drive's root and ".." no further up than the root, as the system that wrote the drive
// would see it. The result holds the descriptor of the entry's folder, so that what is done to
// the entry afterwards is done in that folder and nowhere else.
void TImageFileSystem::Walk(const TDrive& drive, const std::vector<std::string>& parts,
                            TLinkPolicy last, TResolved& r) const {
  r = {};
  r.drive = &drive;
  const TWriteContext context{drive.readOnly, std::nullopt};
  struct TFolder {
    TFd fd;
    std::string host;
  };
  std::vector<TFolder> folders;
  folders.push_back({Duplicate(drive.rootFd), drive.canonicalRoot});
  const auto rootEntry = [&] {
    r.isRoot = true;
    r.host = drive.canonicalRoot;
    int err = 0;
    r.exists = folders.front().fd.Valid() &&
               StatEntry(folders.front().fd.Get(), "", r.info, err, context, AT_EMPTY_PATH) &&
               r.info.directory;
    r.missingError = ERROR_PATH_NOT_FOUND;
  };
  if (!folders.front().fd.Valid() || parts.empty()) {
    rootEntry();
    if (!parts.empty()) { // the drive's folder is gone: nothing below it exists
      r.isRoot = false;
      r.exists = false;
      r.givenName = parts.back();
      r.host = drive.canonicalRoot;
      for (const std::string& part : parts)
        r.host = JoinHost(r.host, part);
    }
    return;
  }
  r.givenName = parts.back();
  if (WalkAtOnce(drive, parts, last, r))
    return;
  r = {};
  r.drive = &drive;
  r.givenName = parts.back();

  std::deque<std::string> pending(parts.begin(), parts.end());
  int linksFollowed = 0;
  bool lastIsGiven = true; // the component at the end of pending is still the caller's own
  // The host path of a path whose walk stopped: the folder reached, then the rest as given.
  const auto missingTail = [&](const std::string& from, std::string_view first) {
    std::string host = first.empty() ? from : JoinHost(from, first);
    for (const std::string& part : pending)
      host = JoinHost(host, part);
    return host;
  };
  while (!pending.empty()) {
    std::string component = std::move(pending.front());
    pending.pop_front();
    if (component.empty() || component == ".")
      continue; // only a link's target holds these
    if (component == "..") {
      if (folders.size() > 1)
        folders.pop_back();
      continue;
    }
    const bool isLast = pending.empty();
    TFolder& folder = folders.back();
    std::string name = component;
    TEntryInfo info;
    int err = 0;
    bool found = StatEntry(folder.fd.Get(), name.c_str(), info, err, context);
    if (!found && err == ENOENT && FindNoCase(folder.fd.Get(), component, name))
      found = StatEntry(folder.fd.Get(), name.c_str(), info, err, context);
    if (!found) {
      if (isLast) {
        r.parentExists = true;
        r.parentHost = folder.host;
        r.name = component;
        r.host = JoinHost(folder.host, component);
        r.missingError = err == EACCES ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
        r.parent = std::move(folder.fd);
      } else {
        r.host = missingTail(folder.host, component);
        r.missingError = err == EACCES ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND;
      }
      return;
    }
    if (info.link && (!isLast || last == TLinkPolicy::Follow)) {
      std::string target;
      if (++linksFollowed > kMaxLinksFollowed || !ReadLink(folder.fd.Get(), name, target)) {
        r.host = missingTail(folder.host, name);
        r.missingError = ERROR_CANT_RESOLVE_FILENAME;
        return;
      }
      if (isLast && lastIsGiven) {
        r.throughLink = true;
        lastIsGiven = false;
      }
      if (target.front() == '/')
        folders.resize(1);
      std::vector<std::string> targetParts;
      std::size_t start = 0;
      while (start <= target.size()) {
        const std::size_t slash = std::min(target.find('/', start), target.size());
        targetParts.emplace_back(target.substr(start, slash - start));
        start = slash + 1;
      }
      pending.insert(pending.begin(), targetParts.begin(), targetParts.end());
      continue;
    }
    if (isLast) {
      r.exists = true;
      r.parentExists = true;
      r.info = info;
      r.parentHost = folder.host;
      r.name = name;
      r.host = JoinHost(folder.host, name);
      r.parent = std::move(folder.fd);
      return;
    }
    if (!info.directory) { // a file where a folder should be
      r.host = missingTail(JoinHost(folder.host, name), "");
      r.missingError = ERROR_PATH_NOT_FOUND;
      return;
    }
    TFd next(openat(folder.fd.Get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next.Valid()) {
      r.host = missingTail(folder.host, name);
      r.missingError = errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND;
      return;
    }
    std::string host = JoinHost(folder.host, name);
    folders.push_back({std::move(next), std::move(host)});
  }
  // The path ended on a folder already walked: a link to ".", "..", "/" or a target ending in "..".
  if (folders.size() == 1) {
    rootEntry();
    return;
  }
  TFolder self = std::move(folders.back());
  folders.pop_back();
  int err = 0;
  r.exists = StatEntry(self.fd.Get(), "", r.info, err, context, AT_EMPTY_PATH);
  r.parentExists = true;
  r.parentHost = folders.back().host;
  r.name = std::string(BaseName(self.host));
  r.host = self.host;
  r.parent = std::move(folders.back().fd);
}

bool TImageFileSystem::ReadLink(int dirFd, const std::string& name, std::string& target) {
  std::string buffer(PATH_MAX, '\0');
  const ssize_t n = readlinkat(dirFd, name.c_str(), buffer.data(), buffer.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size())
    return false;
  target.assign(buffer.data(), static_cast<std::size_t>(n));
  return true;
}

bool TImageFileSystem::Resolve(const std::string& path, TLinkPolicy last, TResolved& r,
                               DWORD& error) const {
  const TParsedPath parsed = ParseWindowsPath(path);
  if (!parsed.valid) {
    error = ERROR_INVALID_NAME;
    return false;
  }
  if (parsed.drive == 0) {
    error = NoDriveError(parsed);
    return false;
  }
  const TDrive* drive = DriveOf(parsed.drive);
  if (!drive) {
    error = ERROR_PATH_NOT_FOUND;
    return false;
  }
  Walk(*drive, parsed.parts, last, r);
  r.trailingSeparator = parsed.trailingSeparator;
  if (r.exists && r.trailingSeparator && !r.info.directory && !r.info.link) {
    // "file.txt\" names a folder that cannot exist.
    r.exists = false;
    r.parentExists = false;
    r.missingError = ERROR_INVALID_NAME;
  }
  return true;
}

bool TImageFileSystem::ResolveExisting(const std::string& path, TLinkPolicy last, TResolved& r,
                                       DWORD& error) const {
  if (!Resolve(path, last, r, error))
    return false;
  if (!r.exists) {
    error = r.missingError;
    return false;
  }
  return true;
}

bool TImageFileSystem::FollowedInfo(const std::string& path, const TResolved& entry,
                                    TEntryInfo& info) const {
  if (!entry.info.link) {
    info = entry.info;
    return true;
  }
  TResolved target;
  DWORD error = 0;
  if (!ResolveExisting(path, TLinkPolicy::Follow, target, error))
    return false;
  info = target.info;
  return true;
}

// --- Files -----------------------------------------------------------------------------------

std::uint32_t TImageFileSystem::Attributes(const std::string& path) {
  TResolved r;
  DWORD error = 0;
  if (!ResolveExisting(path, TLinkPolicy::Follow, r, error))
    return Fail(INVALID_FILE_ATTRIBUTES, error);
  return AttributesOf(r.info) | (r.throughLink ? FILE_ATTRIBUTE_REPARSE_POINT : 0);
}

THandleValue TImageFileSystem::FindFirst(const std::string& fileName, TFindData& data) {
  TParsedPath parsed = ParseWindowsPath(fileName);
  if (!parsed.valid)
    return Fail(INVALID_HANDLE_VALUE, ERROR_INVALID_NAME);
  if (parsed.drive == 0)
    return Fail(INVALID_HANDLE_VALUE, NoDriveError(parsed));
  const TDrive* drive = DriveOf(parsed.drive);
  if (!drive)
    return Fail(INVALID_HANDLE_VALUE, ERROR_PATH_NOT_FOUND);
  TResolved folder;
  if (parsed.parts.empty() || parsed.trailingSeparator) {
    // A folder without a pattern ("C:\Dir\") matches nothing, as on Windows.
    Walk(*drive, parsed.parts, TLinkPolicy::Follow, folder);
    const bool isFolder = folder.exists && folder.info.directory;
    return Fail(INVALID_HANDLE_VALUE, isFolder ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
  }
  const std::string pattern = std::move(parsed.parts.back());
  parsed.parts.pop_back();
  Walk(*drive, parsed.parts, TLinkPolicy::Follow, folder);
  if (!folder.exists || !folder.info.directory) {
    const bool denied = !folder.exists && folder.missingError == ERROR_ACCESS_DENIED;
    return Fail(INVALID_HANDLE_VALUE, denied ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND);
  }
  const int containerFd = folder.isRoot ? drive->rootFd : folder.FolderFd();
  const std::string folderName = folder.isRoot ? "." : folder.name;
  TFd folderFd(
      openat(containerFd, folderName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!folderFd.Valid())
    return Fail(INVALID_HANDLE_VALUE, errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND);
  const int listingFd = folderFd.Get();
  TDirPtr dir(fdopendir(listingFd));
  if (!dir)
    return Fail(INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED);
  folderFd.Release(); // the listing owns it now

  auto state = std::make_unique<TFindState>();
  state->folderPath = RootText(*drive);
  for (const std::string& part : parsed.parts)
    state->folderPath += "\\" + part;
  struct statvfs volume {};
  state->context.driveReadOnly = drive->readOnly;
  state->context.readOnlyMount =
      fstatvfs(listingFd, &volume) == 0 && (volume.f_flag & ST_RDONLY) != 0;
  if (!HasWildcard(pattern)) {
    // One name: look it up as a path component, without listing the folder when it matches
    // exactly.
    TEntryInfo info;
    int err = 0;
    std::string name = pattern;
    std::string match;
    if (!StatEntry(listingFd, pattern.c_str(), info, err, state->context) && err == ENOENT &&
        FindNoCase(listingFd, pattern, match))
      name = match;
    state->names.push_back(std::move(name));
  } else {
    TWildcard wildcard(pattern);
    while (const dirent* e = readdir(dir.get())) {
      const std::string_view name = e->d_name;
      if (name != "." && name != ".." && wildcard.Matches(name))
        state->names.emplace_back(name);
    }
    std::sort(state->names.begin(), state->names.end());
    if (!folder.isRoot) {
      // Windows lists "." and ".." first in every folder but a drive's root.
      std::vector<std::string> dots;
      for (const char* dot : {".", ".."})
        if (wildcard.Matches(dot))
          dots.emplace_back(dot);
      state->names.insert(state->names.begin(), dots.begin(), dots.end());
    }
  }
  state->folder = std::move(dir);
  if (!NextFound(*state, data))
    return Fail(INVALID_HANDLE_VALUE, ERROR_FILE_NOT_FOUND);

  const std::lock_guard lock(findsMutex_);
  if (nextHandle_ == INVALID_HANDLE_VALUE || nextHandle_ == 0)
    nextHandle_ = 1;
  while (finds_.count(nextHandle_) != 0)
    ++nextHandle_;
  const HANDLE handle = nextHandle_++;
  finds_.emplace(handle, std::move(state));
  return handle;
}

// Reports the next entry that still exists. A link shows as what it leads to inside the drive,
// marked as a reparse point; one that leads nowhere shows as a file that cannot be opened.
bool TImageFileSystem::NextFound(TFindState& state, WIN32_FIND_DATA& data) const {
  const int dirFd = dirfd(state.folder.get());
  while (state.next < state.names.size()) {
    const std::string& name = state.names[state.next++];
    TEntryInfo info;
    int err = 0;
    if (!StatEntry(dirFd, name.c_str(), info, err, state.context))
      continue;
    if (info.link) {
      TEntryInfo target;
      TResolved entry;
      entry.info = info;
      if (FollowedInfo(state.folderPath + "\\" + name, entry, target)) {
        info = target;
      } else {
        info.link = false;
        info.size = 0;
      }
      FillFindData(name, info, data);
      data.dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
      return true;
    }
    FillFindData(name, info, data);
    return true;
  }
  return false;
}

bool TImageFileSystem::FindNext(THandleValue find, TFindData& data) {
  const std::lock_guard lock(findsMutex_);
  const auto it = finds_.find(find);
  if (it == finds_.end())
    return Fail(false, ERROR_INVALID_HANDLE);
  if (!NextFound(*it->second, data))
    return Fail(false, ERROR_NO_MORE_FILES);
  return true;
}

bool TImageFileSystem::FindEnd(THandleValue find) {
  const std::lock_guard lock(findsMutex_);
  if (finds_.erase(find) == 0)
    return Fail(false, ERROR_INVALID_HANDLE);
  return true;
}

bool TImageFileSystem::Delete(const std::string& path) {
  TResolved r;
  DWORD error = 0;
  if (!ResolveExisting(path, TLinkPolicy::Entry, r, error))
    return Fail(false, error);
  if (r.isRoot || r.drive->readOnly)
    return Fail(false, ERROR_ACCESS_DENIED);
  TEntryInfo info;
  // A link to a folder is removed with RemoveDirectory, as on Windows; one that leads nowhere is
  // a file link.
  if (r.info.link && FollowedInfo(path, r, info) && info.directory)
    return Fail(false, ERROR_ACCESS_DENIED);
  if (r.info.directory || r.info.readOnly)
    return Fail(false, ERROR_ACCESS_DENIED);
  if (r.info.regular && HeldByAnotherProgram(r.FolderFd(), r.name))
    return Fail(false, ERROR_SHARING_VIOLATION);
  if (unlinkat(r.FolderFd(), r.name.c_str(), 0) != 0)
    return Fail(false, ErrorFromErrno(errno));
  return true;
}

std::size_t TImageFileSystem::DeleteFilesIn(const std::string& folder,
                                            const std::vector<std::string>& names) {
  TResolved r;
  DWORD error = 0;
  if (!ResolveExisting(folder, TLinkPolicy::Entry, r, error))
    return Fail(std::size_t{0}, error);
  if (r.isRoot || r.drive->readOnly || !r.info.directory)
    return Fail(std::size_t{0}, ERROR_ACCESS_DENIED);
  const TFd dir(
      openat(r.FolderFd(), r.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!dir.Valid())
    return Fail(std::size_t{0}, ErrorFromErrno(errno));
  // One listing answers every name, exact match first, as a path walk would for each.
  std::unordered_set<std::string> exact;
  std::unordered_map<std::u32string, std::string> folded;
  if (const TDirPtr listing = OpenListing(dir.Get()))
    while (const dirent* e = readdir(listing.get())) {
      const std::string_view entry = e->d_name;
      if (entry == "." || entry == "..")
        continue;
      exact.emplace(entry);
      const auto [at, added] = folded.emplace(FoldName(entry), entry);
      if (!added && entry < at->second)
        at->second = entry;
    }
  const TWriteContext context{r.drive->readOnly, std::nullopt};
  std::size_t deleted = 0;
  for (const std::string& name : names) {
    if (name.empty() || name == "." || name == ".." || name.find_first_of("\\/") != name.npos)
      continue;
    std::string onDisk = name;
    if (exact.count(name) == 0) {
      const auto at = folded.find(FoldName(name));
      if (at == folded.end())
        continue;
      onDisk = at->second;
    }
    TEntryInfo info;
    int err = 0;
    if (!StatEntry(dir.Get(), onDisk.c_str(), info, err, context) || !info.regular ||
        info.readOnly || HeldByAnotherProgram(dir.Get(), onDisk))
      continue;
    if (unlinkat(dir.Get(), onDisk.c_str(), 0) == 0)
      ++deleted;
  }
  return deleted;
}

bool TImageFileSystem::MakeFolder(const std::string& path) {
  TResolved r;
  DWORD error = 0;
  if (!Resolve(path, TLinkPolicy::Entry, r, error))
    return Fail(false, error);
  if (r.exists)
    return Fail(false, ERROR_ALREADY_EXISTS);
  if (!r.parentExists)
    return Fail(false,
                r.missingError == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : r.missingError);
  if (r.drive->readOnly)
    return Fail(false, ERROR_ACCESS_DENIED);
  if (mkdirat(r.FolderFd(), r.name.c_str(), 0777) != 0)
    return Fail(false, ErrorFromErrno(errno));
  return true;
}

bool TImageFileSystem::RemoveFolder(const std::string& path) {
  TResolved r;
  DWORD error = 0;
  if (!ResolveExisting(path, TLinkPolicy::Entry, r, error))
    return Fail(false, error);
  if (r.isRoot || r.drive->readOnly)
    return Fail(false, ERROR_ACCESS_DENIED);
  if (r.info.link) {
    // A link to a folder goes as the link; what it leads to stays.
    TEntryInfo info;
    if (!FollowedInfo(path, r, info) || !info.directory)
      return Fail(false, ERROR_DIRECTORY);
    if (unlinkat(r.FolderFd(), r.name.c_str(), 0) != 0)
      return Fail(false, ErrorFromErrno(errno));
    return true;
  }
  if (!r.info.directory)
    return Fail(false, ERROR_DIRECTORY);
  if (unlinkat(r.FolderFd(), r.name.c_str(), AT_REMOVEDIR) != 0) {
    const int err = errno;
    if (err == ENOTEMPTY || err == EEXIST)
      return Fail(false, ERROR_DIR_NOT_EMPTY);
    return Fail(false, err == ENOTDIR ? ERROR_DIRECTORY : ErrorFromErrno(err));
  }
  return true;
}

bool TImageFileSystem::Move(const std::string& existing, const std::string& newName, DWORD flags) {
  TResolved src, dst;
  DWORD error = 0;
  if (!ResolveExisting(existing, TLinkPolicy::Entry, src, error))
    return Fail(false, error);
  if (!Resolve(newName, TLinkPolicy::Entry, dst, error))
    return Fail(false, error);
  if (src.isRoot || dst.isRoot || src.drive->readOnly || dst.drive->readOnly)
    return Fail(false, ERROR_ACCESS_DENIED);
  if (src.drive != dst.drive)
    return Fail(false, ERROR_NOT_SAME_DEVICE);

  const bool sameInode =
      dst.exists && dst.info.device == src.info.device && dst.info.inode == src.info.inode;
  // The same entry under another spelling ("a.txt" to "A.TXT"): a rename that changes the case.
  const bool sameEntry = sameInode && dst.parentHost == src.parentHost &&
                         SameName(src.name, dst.givenName) && SameName(src.name, dst.name);
  if (sameEntry) {
    if (dst.givenName != src.name &&
        renameat(src.FolderFd(), src.name.c_str(), dst.FolderFd(), dst.givenName.c_str()) != 0)
      return Fail(false, ErrorFromErrno(errno));
    return true;
  }
  if (src.info.regular && HeldByAnotherProgram(src.FolderFd(), src.name))
    return Fail(false, ERROR_SHARING_VIOLATION);
  if (dst.exists) {
    if ((flags & MOVEFILE_REPLACE_EXISTING) == 0)
      return Fail(false, ERROR_ALREADY_EXISTS);
    if (dst.info.directory || src.info.directory || dst.info.readOnly)
      return Fail(false, ERROR_ACCESS_DENIED);
    if (dst.info.regular && HeldByAnotherProgram(dst.FolderFd(), dst.name))
      return Fail(false, ERROR_SHARING_VIOLATION);
    // rename(2) replaces the target atomically: it is never absent in between.
    if (renameat(src.FolderFd(), src.name.c_str(), dst.FolderFd(), dst.name.c_str()) != 0)
      return Fail(false, ErrorFromErrno(errno));
    // Two hard links of one file: rename(2) leaves both; the source name must go.
    if (sameInode)
      unlinkat(src.FolderFd(), src.name.c_str(), 0);
    return true;
  }
  if (!dst.parentExists)
    return Fail(false,
                dst.missingError == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : dst.missingError);
  const int rc = (flags & MOVEFILE_REPLACE_EXISTING) != 0
                     ? renameat(src.FolderFd(), src.name.c_str(), dst.FolderFd(), dst.name.c_str())
                     : RenameNoReplaceAt(src.FolderFd(), src.name, dst.FolderFd(), dst.name);
  if (rc != 0)
    return Fail(false, ErrorFromErrno(errno));
  return true;
}

DWORD TImageFileSystem::ReplaceRefused(const std::string& replaced, const TResolved& target,
                                       TEntryInfo& kept) const {
  if (target.isRoot || target.drive->readOnly)
    return ERROR_ACCESS_DENIED;
  // What the replaced name stands for decides: its permissions pass to the new content.
  if (!FollowedInfo(replaced, target, kept))
    kept = target.info;
  if (kept.directory || kept.readOnly)
    return ERROR_ACCESS_DENIED;
  if (target.info.regular && HeldByAnotherProgram(target.FolderFd(), target.name))
    return ERROR_SHARING_VIOLATION;
  return ERROR_SUCCESS;
}

bool TImageFileSystem::CanReplace(const std::string& path) {
  TResolved target;
  DWORD error = 0;
  if (!ResolveExisting(path, TLinkPolicy::Entry, target, error))
    return Fail(false, error);
  TEntryInfo kept;
  const DWORD refused = ReplaceRefused(path, target, kept);
  return refused == ERROR_SUCCESS || Fail(false, refused);
}

bool TImageFileSystem::Replace(const std::string& replaced, const std::string& replacement) {
  TResolved target, source;
  DWORD error = 0;
  if (!ResolveExisting(replaced, TLinkPolicy::Entry, target, error))
    return Fail(false, error);
  if (!ResolveExisting(replacement, TLinkPolicy::Entry, source, error))
    return Fail(false, error);
  if (source.drive != target.drive || !source.info.regular)
    return Fail(false, ERROR_ACCESS_DENIED);
  TEntryInfo kept;
  if (const DWORD refused = ReplaceRefused(replaced, target, kept))
    return Fail(false, refused);
  if (HeldByAnotherProgram(source.FolderFd(), source.name))
    return Fail(false, ERROR_SHARING_VIOLATION);
  if (kept.regular) {
    int err = 0;
    const TFd file = OpenRegularFile(source.FolderFd(), source.name, err);
    if (!file.Valid())
      return Fail(false, ErrorFromErrno(err));
    if (fchmod(file.Get(), kept.mode & 07777) != 0)
      return Fail(false, ErrorFromErrno(errno));
    // The browser's user must still own its store when root rewrote it.
    struct stat st {};
    if (fstat(file.Get(), &st) == 0 && (st.st_uid != kept.uid || st.st_gid != kept.gid) &&
        fchown(file.Get(), kept.uid, kept.gid) != 0 && geteuid() == 0)
      return Fail(false, ErrorFromErrno(errno));
  }
  if (renameat(source.FolderFd(), source.name.c_str(), target.FolderFd(), target.name.c_str()) != 0)
    return Fail(false, ErrorFromErrno(errno));
  return true;
}

bool TImageFileSystem::Copy(const std::string& existing, const std::string& newName,
                            bool failIfExists) {
  TResolved src, dst;
  DWORD error = 0;
  if (!ResolveExisting(existing, TLinkPolicy::Follow, src, error))
    return Fail(false, error);
  if (!src.info.regular)
    return Fail(false, ERROR_ACCESS_DENIED);
  if (!Resolve(newName, TLinkPolicy::Entry, dst, error))
    return Fail(false, error);
  if (dst.drive->readOnly)
    return Fail(false, ERROR_ACCESS_DENIED);
  if (dst.exists) {
    if (failIfExists)
      return Fail(false, ERROR_FILE_EXISTS);
    if (dst.info.directory || dst.info.readOnly || dst.isRoot)
      return Fail(false, ERROR_ACCESS_DENIED);
    // Copying a file onto itself would truncate it before reading it.
    if (dst.info.device == src.info.device && dst.info.inode == src.info.inode)
      return Fail(false, ERROR_SHARING_VIOLATION);
    if (dst.info.regular && HeldByAnotherProgram(dst.FolderFd(), dst.name))
      return Fail(false, ERROR_SHARING_VIOLATION);
  } else if (dst.trailingSeparator || dst.isRoot) {
    return Fail(false, ERROR_INVALID_NAME);
  } else if (!dst.parentExists) {
    return Fail(false,
                dst.missingError == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : dst.missingError);
  }

  int err = 0;
  const TFd in = OpenRegularFile(src.FolderFd(), src.name, err);
  if (!in.Valid())
    return Fail(false, ReadErrorFromErrno(err));
  // The copy is written beside the target and renamed into place, so a failed copy leaves an
  // existing target as it was.
  TTempFile out(dst.FolderFd(), 0600);
  if (!out.Valid())
    return Fail(false, WriteErrorFromErrno(out.Error()));
  if (!CopyContent(in.Get(), out.Fd(), error))
    return Fail(false, error);
  // Windows keeps the attributes and the last write time of the source.
  struct stat st {};
  if (fstat(in.Get(), &st) == 0) {
    fchmod(out.Fd(), st.st_mode & 0777);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    futimens(out.Fd(), times);
  }
  if (!out.Close())
    return Fail(false, WriteErrorFromErrno(errno));
  const int rc =
      failIfExists ? RenameNoReplaceAt(dst.FolderFd(), out.Name(), dst.FolderFd(), dst.name)
                   : renameat(dst.FolderFd(), out.Name().c_str(), dst.FolderFd(), dst.name.c_str());
  if (rc != 0)
    return Fail(false, errno == EEXIST ? ERROR_FILE_EXISTS : ErrorFromErrno(errno));
  out.Commit();
  return true;
}

bool TImageFileSystem::SetAttributes(const std::string& path, DWORD attributes) {
  TResolved r;
  DWORD error = 0;
  if (!ResolveExisting(path, TLinkPolicy::Follow, r, error))
    return Fail(false, error);
  if (r.drive->readOnly)
    return Fail(false, ERROR_ACCESS_DENIED);
  // READONLY on a folder does not protect its content on Windows; nothing to map.
  if (r.isRoot || r.info.directory || !r.info.regular)
    return true;
  const mode_t mode = r.info.mode & 07777;
  mode_t wanted = mode;
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0)
    wanted = mode & ~static_cast<mode_t>(0222);
  else if ((mode & 0222) == 0)
    wanted = mode | S_IWUSR;
  // After the walk the name is no link; fchmodat follows nothing else.
  if (wanted != mode && fchmodat(r.FolderFd(), r.name.c_str(), wanted, 0) != 0)
    return Fail(false, ErrorFromErrno(errno));
  return true;
}

bool TImageFileSystem::ReadWhole(const std::string& path, std::string& data) {
  data.clear();
  TResolved r;
  DWORD error = 0;
  if (!ResolveExisting(path, TLinkPolicy::Follow, r, error))
    return Fail(false, error);
  // Folders cannot be opened; devices and pipes could block or never end.
  if (r.isRoot || !r.info.regular)
    return Fail(false, ERROR_ACCESS_DENIED);
  int err = 0;
  const TFd fd = OpenRegularFile(r.FolderFd(), r.name, err);
  if (!fd.Valid())
    return Fail(false, ReadErrorFromErrno(err));
  try {
    std::string content;
    // The size is a hint only: files under /proc say 0 and still have content.
    content.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(r.info.size, 1u << 30)));
    std::vector<char> buffer(1 << 16);
    for (;;) {
      const ssize_t n = read(fd.Get(), buffer.data(), buffer.size());
      if (n < 0) {
        if (errno == EINTR)
          continue;
        return Fail(false, ReadErrorFromErrno(errno));
      }
      if (n == 0)
        break;
      content.append(buffer.data(), static_cast<std::size_t>(n));
    }
    data = std::move(content);
  } catch (const std::bad_alloc&) {
    return Fail(false, ERROR_NOT_ENOUGH_MEMORY);
  } catch (const std::length_error&) {
    return Fail(false, ERROR_NOT_ENOUGH_MEMORY);
  }
  return true;
}

bool TImageFileSystem::WriteWhole(const std::string& path, std::string_view data,
                                  DWORD creationDisposition) {
  if (creationDisposition != CREATE_NEW && creationDisposition != CREATE_ALWAYS)
    return Fail(false, ERROR_INVALID_PARAMETER);
  const bool createNew = creationDisposition == CREATE_NEW;
  TResolved r;
  DWORD error = 0;
  // A new file is made under its own name, never through a link of that name; an existing one
  // is overwritten where it really is, as Windows follows a link to it.
  if (!Resolve(path, createNew ? TLinkPolicy::Entry : TLinkPolicy::Follow, r, error))
    return Fail(false, error);
  if (r.isRoot || r.drive->readOnly)
    return Fail(false, ERROR_ACCESS_DENIED);
  int flags = O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;
  if (r.exists) {
    if (createNew)
      return Fail(false, ERROR_FILE_EXISTS);
    if (!r.info.regular || r.info.readOnly)
      return Fail(false, ERROR_ACCESS_DENIED);
    if (HeldByAnotherProgram(r.FolderFd(), r.name))
      return Fail(false, ERROR_SHARING_VIOLATION);
    flags |= O_TRUNC | O_NONBLOCK;
  } else if (r.trailingSeparator) {
    return Fail(false, ERROR_INVALID_NAME);
  } else if (!r.parentExists) {
    return Fail(false,
                r.missingError == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : r.missingError);
  } else {
    flags |= O_CREAT | O_EXCL;
  }
  TFd fd(openat(r.FolderFd(), r.name.c_str(), flags, 0666));
  if (!fd.Valid())
    return Fail(false, WriteErrorFromErrno(errno));
  int err = 0;
  if (!WriteAll(fd.Get(), data, err))
    return Fail(false, WriteErrorFromErrno(err));
  if (!fd.Close())
    return Fail(false, WriteErrorFromErrno(errno));
  return true;
}

std::string TImageFileSystem::HostPath(const std::string& path) {
  TResolved r;
  DWORD error = 0;
  if (!Resolve(path, TLinkPolicy::Follow, r, error))
    return {};
  return r.host;
}

// --- Files for libraries ---------------------------------------------------------------------

TImageFileSystem::TLibraryFile::~TLibraryFile() {
  if (fd >= 0)
    close(fd);
}

std::unique_ptr<TImageFileSystem::TLibraryFile>
TImageFileSystem::OpenForLibrary(const std::string& path) const {
  TResolved r;
  DWORD error = 0;
  if (!ResolveExisting(path, TLinkPolicy::Follow, r, error) || r.isRoot || !r.info.regular)
    return Fail<std::unique_ptr<TLibraryFile>>(nullptr, error == 0 ? ERROR_ACCESS_DENIED : error);
  int err = 0;
  TFd fd = OpenRegularFile(r.FolderFd(), r.name, err);
  if (!fd.Valid())
    return Fail<std::unique_ptr<TLibraryFile>>(nullptr, ReadErrorFromErrno(err));
  auto file = std::make_unique<TLibraryFile>();
  file->fd = fd.Release();
  file->path = "/proc/self/fd/" + std::to_string(file->fd);
  return file;
}

std::unique_ptr<TImageFileSystem::TLibraryFile>
TImageFileSystem::CreateBeside(const std::string& path, std::string& tempPath) {
  TResolved r;
  DWORD error = 0;
  if (!ResolveExisting(path, TLinkPolicy::Entry, r, error))
    return Fail<std::unique_ptr<TLibraryFile>>(nullptr, error);
  if (r.isRoot || r.drive->readOnly)
    return Fail<std::unique_ptr<TLibraryFile>>(nullptr, ERROR_ACCESS_DENIED);
  TTempFile temp(r.FolderFd(), 0600);
  if (!temp.Valid())
    return Fail<std::unique_ptr<TLibraryFile>>(nullptr, WriteErrorFromErrno(temp.Error()));
  const std::size_t slash = path.find_last_of("\\/");
  tempPath = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + temp.Name();
  auto file = std::make_unique<TLibraryFile>();
  file->fd = fcntl(temp.Fd(), F_DUPFD_CLOEXEC, 0);
  file->path = "/proc/self/fd/" + std::to_string(file->fd);
  temp.Commit(); // the caller replaces the file with it or deletes it
  return file;
}

// --- Drives ----------------------------------------------------------------------------------

std::string TImageFileSystem::WindowsPathFromHost(const std::string& hostPath) {
  if (hostPath.empty() || hostPath.find('\0') != std::string::npos)
    return {};
  // The longest root that holds the path wins; on equal roots the earlier drive (C: first).
  struct TMatch {
    const TDrive* drive = nullptr;
    const std::string* root = nullptr;
  };
  const auto best = [&](const std::string& path, bool canonical) {
    TMatch m;
    for (const TDrive& d : drives_) {
      const std::string& root = canonical ? d.canonicalRoot : d.root;
      if (HostContains(root, path) && (!m.root || root.size() > m.root->size()))
        m = {&d, &root};
    }
    return m;
  };
  std::string path = NormalizeHostPath(hostPath);
  TMatch match = best(path, false);
  if (!match.drive || *match.root == "/") {
    // A path through a symbolic link may still lie inside a drive's real folder.
    std::error_code ec;
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, ec);
    if (!ec) {
      std::string canonicalPath = NormalizeHostPath(canonical.string());
      const TMatch other = best(canonicalPath, true);
      if (other.drive && *other.root != "/") {
        match = other;
        path = std::move(canonicalPath);
      }
    }
  }
  if (!match.drive)
    return {};
  const std::string& root = *match.root;
  const std::string rest = path.substr(root == "/" ? 1 : root.size());
  std::string out = RootText(*match.drive) + "\\";
  for (const char c : rest) {
    if (c != '/')
      out += c;
    else if (out.back() != '\\')
      out += '\\';
  }
  return out;
}

std::uint32_t TImageFileSystem::DriveType(const std::string& rootPath) {
  const bool shapeOk =
      (rootPath.size() == 2 || (rootPath.size() == 3 && IsSeparator(rootPath[2]))) &&
      rootPath[1] == ':';
  if (!shapeOk)
    return DRIVE_NO_ROOT_DIR;
  const TDrive* drive = DriveOf(UpperDriveLetter(rootPath[0]));
  if (!drive || drive->rootFd < 0)
    return DRIVE_NO_ROOT_DIR;
  TEntryInfo info;
  int err = 0;
  return StatEntry(drive->rootFd, "", info, err, {}, AT_EMPTY_PATH) && info.directory
             ? DRIVE_FIXED
             : DRIVE_NO_ROOT_DIR;
}

std::string TImageFileSystem::ModuleFileName() {
  std::string exe = config_.executablePath;
  if (exe.empty()) {
    std::error_code ec;
    exe = std::filesystem::read_symlink("/proc/self/exe", ec).string();
    if (ec)
      return {};
  }
  return WindowsPathFromHost(exe);
}

bool MatchesWildcard(std::string_view name, std::string_view mask) {
  return TWildcard(mask).Matches(name);
}

} // namespace quillon::winapi::image
