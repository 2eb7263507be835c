#include "winapi/image/ImageFileSystem.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <limits>
#include <new>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <unistd.h>

namespace quillon::winapi::image {

namespace {

constexpr std::int64_t kTicksPerSecond = 10000000;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kFileTimeUnixOffsetSeconds = 11644473600;

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// --- Names without regard to case ------------------------------------------------------------

// One character of a name. Valid UTF-8 yields its code point; a byte that is not part of valid
// UTF-8 stands for itself as 0xDC00 + byte (a value valid UTF-8 never yields), so such names still
// compare and match deterministically.
std::size_t DecodeOne(std::string_view s, std::size_t i, char32_t& cp) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b0 = byte(i);
  cp = 0xDC00 + b0;
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  std::size_t len = 0;
  unsigned char lo = 0x80, hi = 0xBF; // allowed range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    if (b0 == 0xE0)
      lo = 0xA0; // overlong
    if (b0 == 0xED)
      hi = 0x9F; // surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    if (b0 == 0xF0)
      lo = 0x90;
    if (b0 == 0xF4)
      hi = 0x8F;
  } else {
    return 1;
  }
  if (i + len > s.size() || byte(i + 1) < lo || byte(i + 1) > hi)
    return 1;
  char32_t value = b0 & (0xFF >> (len + 1));
  for (std::size_t k = 1; k < len; ++k) {
    const unsigned char b = byte(i + k);
    if ((b & 0xC0) != 0x80)
      return 1;
    value = (value << 6) | (b & 0x3F);
  }
  cp = value;
  return len;
}

// Windows compares names through the file system's upper-case table. This covers the letters
// user and folder names use in practice: ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic.
char32_t UpperCase(char32_t c) {
  if (c < 0x80)
    return c >= 'a' && c <= 'z' ? c - 32 : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
    return c - 32;
  if (c == 0xFF)
    return 0x178;
  if (c == 0x131) // dotless i
    return 'I';
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
    return (c & 1) ? c - 1 : c;
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
    return (c & 1) ? c : c - 1;
  if (c >= 0x3B1 && c <= 0x3C9)
    return c == 0x3C2 ? 0x3A3 : c - 32; // final sigma
  if (c == 0x3AC)
    return 0x386;
  if (c >= 0x3AD && c <= 0x3AF)
    return c - 37;
  if (c == 0x3CC)
    return 0x38C;
  if (c == 0x3CD || c == 0x3CE)
    return c - 63;
  if (c >= 0x430 && c <= 0x44F)
    return c - 32;
  if (c >= 0x450 && c <= 0x45F)
    return c - 80;
  return c;
}

void FoldInto(std::string_view s, std::u32string& out) {
  out.clear();
  for (std::size_t i = 0; i < s.size();) {
    char32_t cp = 0;
    i += DecodeOne(s, i, cp);
    out.push_back(UpperCase(cp));
  }
}

std::u32string FoldName(std::string_view s) {
  std::u32string out;
  FoldInto(s, out);
  return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    char32_t ca = 0, cb = 0;
    i += DecodeOne(a, i, ca);
    j += DecodeOne(b, j, cb);
    if (UpperCase(ca) != UpperCase(cb))
      return false;
  }
  return i == a.size() && j == b.size();
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

struct TEntryInfo {
  bool directory = false;
  bool regular = false; // a plain file, not a device, pipe or dangling link
  bool readOnly = false;
  std::uint64_t size = 0;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint32_t mode = 0;
  FILETIME creation, lastAccess, lastWrite;
};

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

// Stats a host path (following links), relative to a folder's descriptor or absolute. A
// dangling symbolic link is still an entry of its folder, one that cannot be opened. The creation
// time is the birth time where the host file system keeps one, else the status-change time.
//
// Windows keeps READONLY as a flag; the host's nearest equivalent is "no write bit at all" (which
// also holds for root) or "not writable by us". A folder listing passes whether its mount is
// read-only and saves the access call for the common cases.
bool StatAt(int dirFd, const char* path, TEntryInfo& info, int& err,
            const bool* readOnlyMount = nullptr) {
  struct statx sx {};
  constexpr unsigned mask = STATX_BASIC_STATS | STATX_BTIME;
  int rc = statx(dirFd, path, AT_STATX_SYNC_AS_STAT, mask, &sx);
  if (rc != 0 && errno == ENOENT)
    rc = statx(dirFd, path, AT_STATX_SYNC_AS_STAT | AT_SYMLINK_NOFOLLOW, mask, &sx);
  if (rc != 0) {
    err = errno;
    return false;
  }
  info = {};
  info.mode = sx.stx_mode;
  info.directory = S_ISDIR(sx.stx_mode);
  info.regular = S_ISREG(sx.stx_mode);
  info.size = info.directory ? 0 : sx.stx_size;
  info.device = (static_cast<std::uint64_t>(sx.stx_dev_major) << 32) | sx.stx_dev_minor;
  info.inode = sx.stx_ino;
  info.lastWrite = ToFileTime(sx.stx_mtime);
  info.lastAccess = ToFileTime(sx.stx_atime);
  info.creation = ToFileTime((sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_ctime);
  if (info.directory || S_ISLNK(sx.stx_mode)) {
    info.readOnly = false;
  } else if ((sx.stx_mode & 0222) == 0) {
    info.readOnly = true;
  } else if (readOnlyMount) {
    const uid_t me = geteuid();
    if (*readOnlyMount)
      info.readOnly = true;
    else if (me == 0)
      info.readOnly = false;
    else if (sx.stx_uid == me)
      info.readOnly = (sx.stx_mode & S_IWUSR) == 0;
    else
      info.readOnly = faccessat(dirFd, path, W_OK, AT_EACCESS) != 0;
  } else {
    info.readOnly = faccessat(dirFd, path, W_OK, AT_EACCESS) != 0;
  }
  return true;
}

bool StatHost(const std::string& path, TEntryInfo& info, int& err) {
  return StatAt(AT_FDCWD, path.c_str(), info, err);
}

DWORD Attributes(const TEntryInfo& info) {
  DWORD a = info.directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if (info.readOnly)
    a |= FILE_ATTRIBUTE_READONLY;
  return a;
}

void FillFindData(const std::string& name, const TEntryInfo& info, WIN32_FIND_DATA& data) {
  data.dwFileAttributes = Attributes(info);
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
  case ELOOP:
    return ERROR_PATH_NOT_FOUND;
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
  default: // EACCES, EPERM, EROFS, EBUSY, EISDIR, EINVAL …
    return ERROR_ACCESS_DENIED;
  }
}

DWORD WriteErrorFromErrno(int err) {
  switch (err) {
  case ENOENT:
  case ENOTDIR:
  case ENAMETOOLONG:
  case ELOOP:
    return ERROR_PATH_NOT_FOUND;
  case EACCES:
  case EPERM:
  case EROFS:
  case EISDIR:
  case ETXTBSY:
    return ERROR_ACCESS_DENIED;
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

template <class T> T Fail(T result, DWORD code) {
  SetLastError(code);
  return result;
}

struct TDirCloser {
  void operator()(DIR* d) const { closedir(d); }
};
using TDirPtr = std::unique_ptr<DIR, TDirCloser>;

class TFd {
public:
  explicit TFd(int fd) : fd_(fd) {}
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  ~TFd() {
    if (fd_ >= 0)
      close(fd_);
  }
  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  // Closes now and reports the result: a deferred write error may only show here.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

private:
  int fd_;
};

std::string JoinHost(const std::string& folder, std::string_view name) {
  std::string out = folder;
  if (out.empty() || out.back() != '/')
    out += '/';
  out += name;
  return out;
}

std::string_view BaseName(std::string_view host) {
  const std::size_t slash = host.rfind('/');
  return slash == std::string_view::npos ? host : host.substr(slash + 1);
}

// Looks a name up in a host folder without regard to case. Of several matches (a case-sensitive
// host may hold "a.txt" and "A.TXT") the smallest name by bytes wins, so the answer does not
// depend on the folder's order.
bool FindNoCase(const std::string& folder, std::string_view name, std::string& match) {
  TDirPtr dir(opendir(folder.c_str()));
  if (!dir)
    return false;
  bool found = false;
  while (const dirent* e = readdir(dir.get())) {
    const std::string_view entry = e->d_name;
    if (entry == "." || entry == "..")
      continue;
    if (EqualNoCase(entry, name) && (!found || entry < match)) {
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

// Renames without replacing an existing target, atomically where the host file system can.
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
    return 0;
  if (errno != EINVAL && errno != ENOSYS)
    return -1;
  struct stat st {};
  if (lstat(to.c_str(), &st) == 0) {
    errno = EEXIST;
    return -1;
  }
  return rename(from.c_str(), to.c_str());
}

// A temporary file beside a target; removed unless committed.
class TTempFile {
public:
  explicit TTempFile(const std::string& folder) {
    std::string pattern = JoinHost(folder, ".quillon-XXXXXX");
    fd_ = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ >= 0)
      path_ = pattern;
  }
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;
  ~TTempFile() {
    if (fd_ >= 0)
      close(fd_);
    if (!path_.empty() && !committed_)
      unlink(path_.c_str());
  }
  bool Valid() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  const std::string& Path() const { return path_; }
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }
  void Commit() { committed_ = true; }

private:
  int fd_ = -1;
  std::string path_;
  bool committed_ = false;
};

// --- Windows paths ---------------------------------------------------------------------------

struct TParsedPath {
  bool valid = true;
  char drive = 0; // upper-case; 0 when the path names none
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
// climbs above the root.
TParsedPath ParseWindowsPath(std::string_view path) {
  TParsedPath p;
  if (path.find('\0') != std::string_view::npos) {
    p.valid = false; // the host would see a different, shorter name
    return p;
  }
  if (path.starts_with("\\\\?\\")) // the long-path prefix names the same path
    path.remove_prefix(4);
  if (path.size() >= 2 && path[1] == ':' && UpperDriveLetter(path[0]) != 0) {
    p.drive = UpperDriveLetter(path[0]);
    path.remove_prefix(2);
  }
  p.trailingSeparator = !path.empty() && IsSeparator(path.back());
  std::size_t i = 0;
  while (i < path.size()) {
    while (i < path.size() && IsSeparator(path[i]))
      ++i;
    std::size_t end = i;
    while (end < path.size() && !IsSeparator(path[end]))
      ++end;
    const std::string_view part = path.substr(i, end - i);
    i = end;
    if (part.empty() || part == ".")
      continue;
    if (part == "..") {
      if (!p.parts.empty())
        p.parts.pop_back();
      continue;
    }
    p.parts.emplace_back(part);
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

} // namespace

struct TImageFileSystem::TFindState {
  std::string folderHost;
  TDirPtr folder; // entries are looked up relative to it: no path walk per entry
  bool readOnlyMount = false;
  std::vector<std::string> names; // matched at FindFirstFile; stat'ed as they are reported
  std::size_t next = 0;

  // Reports the next entry that still exists.
  bool Next(WIN32_FIND_DATA& data) {
    while (next < names.size()) {
      const std::string& name = names[next++];
      TEntryInfo info;
      int err = 0;
      const bool found = folder
                             ? StatAt(dirfd(folder.get()), name.c_str(), info, err, &readOnlyMount)
                             : StatHost(JoinHost(folderHost, name), info, err);
      if (found) {
        FillFindData(name, info, data);
        return true;
      }
    }
    return false;
  }
};
struct TImageFileSystem::TResolved {
  std::string host;       // full host path: the resolved existing part, then the tail as given
  std::string parentHost; // host path of the parent folder (empty for a drive root)
  std::string givenName;  // the last component as the caller spelled it
  bool isRoot = false;
  bool trailingSeparator = false;
  bool exists = false;
  bool parentExists = false; // the parent is an existing folder, so the entry can be created
  DWORD missingError = ERROR_FILE_NOT_FOUND; // what to report when the entry is absent
  TEntryInfo info;                           // valid when exists
};

TImageFileSystem::TImageFileSystem(const TImageConfig& config) : config_(config) {
  std::map<char, std::string> roots;
  roots['Z'] = "/";
  for (const auto& [letter, root] : config_.drives) {
    const char upper = UpperDriveLetter(letter);
    if (upper != 0 && !root.empty())
      roots[upper] = root;
  }
  if (!config_.imageRoot.empty())
    roots['C'] = config_.imageRoot;
  for (const auto& [letter, root] : roots) {
    TDrive d;
    d.letter = letter;
    d.root = NormalizeHostPath(root);
    std::error_code ec;
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(d.root, ec);
    d.canonicalRoot = ec ? d.root : NormalizeHostPath(canonical.string());
    drives_.push_back(std::move(d));
  }
  // C: is the image; it wins over any other drive with the same root.
  std::stable_partition(drives_.begin(), drives_.end(),
                        [](const TDrive& d) { return d.letter == 'C'; });
}

TImageFileSystem::~TImageFileSystem() = default;

const TImageFileSystem::TDrive* TImageFileSystem::DriveOf(char letter) const {
  for (const TDrive& d : drives_)
    if (d.letter == letter)
      return &d;
  return nullptr;
}

void TImageFileSystem::ResolveParts(const TDrive& drive, const std::vector<std::string>& parts,
                                    TResolved& r) const {
  r = {};
  r.isRoot = parts.empty();
  std::string current = drive.root;
  TEntryInfo info;
  int err = 0;
  bool currentIsDir = StatHost(current, info, err) && info.directory;
  if (parts.empty()) {
    r.host = current;
    r.exists = currentIsDir;
    r.info = info;
    r.missingError = ERROR_PATH_NOT_FOUND;
    return;
  }
  DWORD blockedError = ERROR_PATH_NOT_FOUND;
  DWORD lastError = ERROR_FILE_NOT_FOUND;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const bool last = i + 1 == parts.size();
    if (last) {
      r.parentHost = current;
      r.parentExists = currentIsDir;
      r.givenName = parts[i];
    }
    if (!currentIsDir) { // the folder to look in is missing: keep the tail as given
      current = JoinHost(current, parts[i]);
      continue;
    }
    // An exact match costs one stat; only a miss reads the folder.
    std::string candidate = JoinHost(current, parts[i]);
    bool found = StatHost(candidate, info, err);
    std::string match;
    if (!found && err == ENOENT && FindNoCase(current, parts[i], match)) {
      candidate = JoinHost(current, match);
      found = StatHost(candidate, info, err);
    }
    current = std::move(candidate);
    if (!found) {
      currentIsDir = false;
      const DWORD code = err == EACCES ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND;
      if (last)
        lastError = err == EACCES ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
      else
        blockedError = code;
      continue;
    }
    if (last) {
      r.exists = true;
      r.info = info;
    }
    currentIsDir = info.directory;
  }
  r.host = std::move(current);
  r.missingError = r.parentExists ? lastError : blockedError;
}

bool TImageFileSystem::Resolve(const std::string& path, TResolved& r, DWORD& error) const {
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
  ResolveParts(*drive, parsed.parts, r);
  r.trailingSeparator = parsed.trailingSeparator;
  if (r.exists && r.trailingSeparator && !r.info.directory) {
    // "file.txt\" names a folder that cannot exist.
    r.exists = false;
    r.parentExists = false;
    r.missingError = ERROR_INVALID_NAME;
  }
  return true;
}

bool TImageFileSystem::ResolveExisting(const std::string& path, TResolved& r, DWORD& error) const {
  if (!Resolve(path, r, error))
    return false;
  if (!r.exists) {
    error = r.missingError;
    return false;
  }
  return true;
}

DWORD TImageFileSystem::GetFileAttributes(const std::string& path) {
  TResolved r;
  DWORD error = 0;
  if (!ResolveExisting(path, r, error))
    return Fail(INVALID_FILE_ATTRIBUTES, error);
  return Attributes(r.info);
}

HANDLE TImageFileSystem::FindFirstFile(const std::string& fileName, WIN32_FIND_DATA& data) {
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
    ResolveParts(*drive, parsed.parts, folder);
    const bool isFolder = folder.exists && folder.info.directory;
    return Fail(INVALID_HANDLE_VALUE, isFolder ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
  }
  const std::string pattern = std::move(parsed.parts.back());
  parsed.parts.pop_back();
  ResolveParts(*drive, parsed.parts, folder);
  if (!folder.exists || !folder.info.directory) {
    const bool denied = !folder.exists && folder.missingError == ERROR_ACCESS_DENIED;
    return Fail(INVALID_HANDLE_VALUE, denied ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND);
  }

  auto state = std::make_unique<TFindState>();
  state->folderHost = folder.host;
  if (!HasWildcard(pattern)) {
    // One name: look it up as a path component, without listing the folder when it matches
    // exactly.
    TEntryInfo info;
    int err = 0;
    std::string name = pattern;
    std::string match;
    if (!StatHost(JoinHost(folder.host, pattern), info, err) && err == ENOENT &&
        FindNoCase(folder.host, pattern, match))
      name = match;
    state->names.push_back(std::move(name));
  } else {
    TDirPtr dir(opendir(folder.host.c_str()));
    if (!dir)
      return Fail(INVALID_HANDLE_VALUE,
                  errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND);
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
    struct statvfs volume {};
    state->readOnlyMount =
        fstatvfs(dirfd(dir.get()), &volume) == 0 && (volume.f_flag & ST_RDONLY) != 0;
    state->folder = std::move(dir);
  }
  if (!state->Next(data))
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

BOOL TImageFileSystem::FindNextFile(HANDLE find, WIN32_FIND_DATA& data) {
  const std::lock_guard lock(findsMutex_);
  const auto it = finds_.find(find);
  if (it == finds_.end())
    return Fail(false, ERROR_INVALID_HANDLE);
  if (!it->second->Next(data))
    return Fail(false, ERROR_NO_MORE_FILES);
  return true;
}

BOOL TImageFileSystem::FindClose(HANDLE find) {
  const std::lock_guard lock(findsMutex_);
  if (finds_.erase(find) == 0)
    return Fail(false, ERROR_INVALID_HANDLE);
  return true;
}

BOOL TImageFileSystem::DeleteFile(const std::string& path) {
  TResolved r;
  DWORD error = 0;
  if (!ResolveExisting(path, r, error))
    return Fail(false, error);
  if (r.info.directory || r.info.readOnly)
    return Fail(false, ERROR_ACCESS_DENIED);
  if (unlink(r.host.c_str()) != 0)
    return Fail(false, ErrorFromErrno(errno));
  return true;
}

BOOL TImageFileSystem::CreateDirectory(const std::string& path) {
  TResolved r;
  DWORD error = 0;
  if (!Resolve(path, r, error))
    return Fail(false, error);
  if (r.exists)
    return Fail(false, ERROR_ALREADY_EXISTS);
  if (!r.parentExists)
    return Fail(false,
                r.missingError == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : r.missingError);
  if (mkdir(r.host.c_str(), 0777) != 0)
    return Fail(false, ErrorFromErrno(errno));
  return true;
}

BOOL TImageFileSystem::RemoveDirectory(const std::string& path) {
  TResolved r;
  DWORD error = 0;
  if (!ResolveExisting(path, r, error))
    return Fail(false, error);
  if (r.isRoot)
    return Fail(false, ERROR_ACCESS_DENIED);
  if (!r.info.directory)
    return Fail(false, ERROR_DIRECTORY);
  if (rmdir(r.host.c_str()) != 0) {
    const int err = errno;
    if (err == ENOTEMPTY || err == EEXIST)
      return Fail(false, ERROR_DIR_NOT_EMPTY);
    return Fail(false, err == ENOTDIR ? ERROR_DIRECTORY : ErrorFromErrno(err));
  }
  return true;
}

BOOL TImageFileSystem::MoveFileEx(const std::string& existing, const std::string& newName,
                                  DWORD flags) {
  TResolved src, dst;
  DWORD error = 0;
  if (!ResolveExisting(existing, src, error))
    return Fail(false, error);
  if (!Resolve(newName, dst, error))
    return Fail(false, error);
  if (src.isRoot || dst.isRoot)
    return Fail(false, ERROR_ACCESS_DENIED);

  const bool sameInode =
      dst.exists && dst.info.device == src.info.device && dst.info.inode == src.info.inode;
  // The same entry under another spelling ("a.txt" to "A.TXT"): a rename that changes the case.
  const bool sameEntry =
      dst.exists && (dst.host == src.host || (sameInode && dst.parentHost == src.parentHost &&
                                              EqualNoCase(BaseName(src.host), dst.givenName)));
  if (sameEntry) {
    const std::string target = JoinHost(dst.parentHost, dst.givenName);
    if (target != src.host && rename(src.host.c_str(), target.c_str()) != 0)
      return Fail(false, ErrorFromErrno(errno));
    return true;
  }
  if (dst.exists) {
    if ((flags & MOVEFILE_REPLACE_EXISTING) == 0)
      return Fail(false, ERROR_ALREADY_EXISTS);
    if (dst.info.directory || src.info.directory || dst.info.readOnly)
      return Fail(false, ERROR_ACCESS_DENIED);
    // rename(2) replaces the target atomically: it is never absent in between.
    if (rename(src.host.c_str(), dst.host.c_str()) != 0)
      return Fail(false, ErrorFromErrno(errno));
    // Two hard links of one file: rename(2) leaves both; the source name must go.
    if (sameInode)
      unlink(src.host.c_str());
    return true;
  }
  if (!dst.parentExists)
    return Fail(false,
                dst.missingError == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : dst.missingError);
  const int rc = (flags & MOVEFILE_REPLACE_EXISTING) != 0
                     ? rename(src.host.c_str(), dst.host.c_str())
                     : RenameNoReplace(src.host, dst.host);
  if (rc != 0)
    return Fail(false, ErrorFromErrno(errno));
  return true;
}

BOOL TImageFileSystem::CopyFile(const std::string& existing, const std::string& newName,
                                BOOL failIfExists) {
  TResolved src, dst;
  DWORD error = 0;
  if (!ResolveExisting(existing, src, error))
    return Fail(false, error);
  if (!src.info.regular)
    return Fail(false, ERROR_ACCESS_DENIED);
  if (!Resolve(newName, dst, error))
    return Fail(false, error);
  if (dst.exists) {
    if (failIfExists)
      return Fail(false, ERROR_FILE_EXISTS);
    if (dst.info.directory || dst.info.readOnly || dst.isRoot)
      return Fail(false, ERROR_ACCESS_DENIED);
    // Copying a file onto itself would truncate it before reading it.
    if (dst.info.device == src.info.device && dst.info.inode == src.info.inode)
      return Fail(false, ERROR_SHARING_VIOLATION);
  } else if (dst.trailingSeparator || dst.isRoot) {
    return Fail(false, ERROR_INVALID_NAME);
  } else if (!dst.parentExists) {
    return Fail(false,
                dst.missingError == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : dst.missingError);
  }

  TFd in(open(src.host.c_str(), O_RDONLY | O_CLOEXEC));
  if (!in.Valid())
    return Fail(false, ReadErrorFromErrno(errno));
  // The copy is written beside the target and renamed into place, so a failed copy leaves an
  // existing target as it was.
  TTempFile out(dst.parentHost);
  if (!out.Valid())
    return Fail(false, WriteErrorFromErrno(errno));
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const ssize_t n = read(in.Get(), buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return Fail(false, ReadErrorFromErrno(errno));
    }
    if (n == 0)
      break;
    int err = 0;
    if (!WriteAll(out.Fd(), std::string_view(buffer.data(), static_cast<std::size_t>(n)), err))
      return Fail(false, WriteErrorFromErrno(err));
  }
  // Windows keeps the attributes and the last write time of the source.
  struct stat st {};
  if (fstat(in.Get(), &st) == 0) {
    fchmod(out.Fd(), st.st_mode & 07777);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    futimens(out.Fd(), times);
  }
  if (!out.Close())
    return Fail(false, WriteErrorFromErrno(errno));
  const int rc = failIfExists ? RenameNoReplace(out.Path(), dst.host)
                              : rename(out.Path().c_str(), dst.host.c_str());
  if (rc != 0)
    return Fail(false, errno == EEXIST ? ERROR_FILE_EXISTS : ErrorFromErrno(errno));
  out.Commit();
  return true;
}

BOOL TImageFileSystem::SetFileAttributes(const std::string& path, DWORD attributes) {
  TResolved r;
  DWORD error = 0;
  if (!ResolveExisting(path, r, error))
    return Fail(false, error);
  // READONLY on a folder does not protect its content on Windows; nothing to map.
  if (r.info.directory || !r.info.regular)
    return true;
  const mode_t mode = r.info.mode & 07777;
  mode_t wanted = mode;
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0)
    wanted = mode & ~static_cast<mode_t>(0222);
  else if ((mode & 0222) == 0)
    wanted = mode | S_IWUSR;
  if (wanted != mode && chmod(r.host.c_str(), wanted) != 0)
    return Fail(false, ErrorFromErrno(errno));
  return true;
}

bool TImageFileSystem::ReadWholeFile(const std::string& path, std::string& data) {
  data.clear();
  TResolved r;
  DWORD error = 0;
  if (!ResolveExisting(path, r, error))
    return Fail(false, error);
  // Folders cannot be opened; devices and pipes could block or never end.
  if (!r.info.regular)
    return Fail(false, ERROR_ACCESS_DENIED);
  TFd fd(open(r.host.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.Valid())
    return Fail(false, ReadErrorFromErrno(errno));
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

bool TImageFileSystem::WriteWholeFile(const std::string& path, std::string_view data) {
  TResolved r;
  DWORD error = 0;
  if (!Resolve(path, r, error))
    return Fail(false, error);
  if (r.isRoot)
    return Fail(false, ERROR_ACCESS_DENIED);
  if (r.exists) {
    if (!r.info.regular || r.info.readOnly)
      return Fail(false, ERROR_ACCESS_DENIED);
  } else if (r.trailingSeparator) {
    return Fail(false, ERROR_INVALID_NAME);
  } else if (!r.parentExists) {
    return Fail(false,
                r.missingError == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : r.missingError);
  }
  TFd fd(open(r.host.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (!fd.Valid())
    return Fail(false, WriteErrorFromErrno(errno));
  int err = 0;
  if (!WriteAll(fd.Get(), data, err))
    return Fail(false, WriteErrorFromErrno(err));
  if (!fd.Close())
    return Fail(false, WriteErrorFromErrno(errno));
  return true;
}

std::unique_ptr<std::istream> TImageFileSystem::OpenFileStream(const std::string& path) {
  TResolved r;
  DWORD error = 0;
  if (!ResolveExisting(path, r, error))
    return Fail(nullptr, error);
  if (!r.info.regular)
    return Fail(nullptr, ERROR_ACCESS_DENIED);
  auto stream = std::make_unique<std::ifstream>(r.host, std::ios::binary);
  if (!stream->is_open())
    return Fail(nullptr, ERROR_ACCESS_DENIED);
  return stream;
}

std::string TImageFileSystem::HostPath(const std::string& path) const {
  TResolved r;
  DWORD error = 0;
  if (!Resolve(path, r, error))
    return {};
  return r.host;
}

std::string TImageFileSystem::WindowsPathFromHost(const std::string& hostPath) const {
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
  std::string out{match.drive->letter, ':', '\\'};
  for (const char c : rest) {
    if (c != '/')
      out += c;
    else if (out.back() != '\\')
      out += '\\';
  }
  return out;
}

UINT TImageFileSystem::GetDriveType(const std::string& rootPath) const {
  const bool shapeOk =
      (rootPath.size() == 2 || (rootPath.size() == 3 && IsSeparator(rootPath[2]))) &&
      rootPath[1] == ':';
  if (!shapeOk)
    return DRIVE_NO_ROOT_DIR;
  const TDrive* drive = DriveOf(UpperDriveLetter(rootPath[0]));
  if (!drive)
    return DRIVE_NO_ROOT_DIR;
  TEntryInfo info;
  int err = 0;
  return StatHost(drive->root, info, err) && info.directory ? DRIVE_FIXED : DRIVE_NO_ROOT_DIR;
}

std::string TImageFileSystem::GetModuleFileName() const {
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
