#include "winapi/image/ImageUrlCache.h"

#include "winapi/TextCase.h"
#include "winapi/UrlCacheEntry.h"
#include "winapi/image/ImageFileSystem.h"
#include "winapi/image/IndexDat.h"

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <string_view>
#include <unistd.h>
#include <unordered_map>

namespace quillon::winapi::image {

namespace {

// Longer names than NTFS allows for one component are not names Windows could have written.
constexpr std::size_t kMaxNameLength = 255;

// Whether a file or cache-folder name from a record names an entry directly inside its folder.
bool SafeName(std::string_view name) {
  if (name.empty() || name.size() > kMaxNameLength || name == "." ||
      name.find("..") != std::string_view::npos)
    return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F ||
           std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos;
  });
}

std::string Join(std::string folder, std::string_view name) {
  while (!folder.empty() && folder.back() == '\\')
    folder.pop_back();
  folder += '\\';
  folder += name;
  return folder;
}

// The extension of a local file name, without its dot; empty for none.
std::string ExtensionOf(std::string_view localFile) {
  const std::size_t slash = localFile.rfind('\\');
  const std::string_view name =
      slash == std::string_view::npos ? localFile : localFile.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot + 1));
}

bool MissingError(std::uint32_t error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

std::uint32_t WriteError(int err) {
  return err == ENOSPC || err == EDQUOT || err == EFBIG ? ERROR_DISK_FULL : ERROR_WRITE_FAULT;
}

bool WriteAll(int fd, std::string_view data, int& err) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR)
        continue;
      err = errno;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

} // namespace

enum class TContainerKind { Content, Cookies, History };

// One index.dat and, once loaded, its bytes with the deletions made so far.
struct TImageUrlCache::TContainer {
  TContainerKind kind = TContainerKind::Content;
  std::string folder;   // where its cached files lie
  std::string index;    // its index.dat
  std::string hostPath; // of index.dat, to know the same file under two names
  bool loaded = false;
  std::uint32_t error = 0; // why it could not be read whole; 0 for a good or missing one
  std::string bytes;
  TIndexDat dat;
  std::unordered_map<std::string_view, std::uint32_t> byUrl; // the first record of each URL
  std::vector<bool> usableFolders; // by cache folder: a safe name, and no link to elsewhere
  std::vector<bool> deleted;       // by record
  // The cached files of deleted records by folder, removed once the index is written.
  std::map<std::string, std::vector<std::string>> filesToRemove;
  bool changed = false;
  bool replaceChecked = false; // its index.dat was found replaceable since it was read

  // The record's local file as an absolute path inside folder; empty when it has none or its
  // names could lead elsewhere.
  std::string LocalFile(const TIndexDatRecord& record) const {
    if (!SafeName(record.FileName))
      return {};
    if (record.CacheFolder == kNoCacheFolder)
      return Join(folder, record.FileName);
    if (record.CacheFolder >= usableFolders.size() || !usableFolders[record.CacheFolder])
      return {};
    return Join(Join(folder, dat.CacheFolders[record.CacheFolder]), record.FileName);
  }
};

struct TImageUrlCache::TWalk {
  std::string pattern;
  std::vector<TContainer*> containers;
  std::size_t container = 0;
  std::size_t record = 0;
  std::uint32_t error = 0; // the first container error passed over
  bool errorReported = false;
  // The entry at (container, record) as last built, so a probe and its fetch build it once.
  std::optional<TUrlCacheEntryData> current;
};

TImageUrlCache::TImageUrlCache(TImageFileSystem& files, TAccountService& accounts,
                               std::shared_ptr<TLastError> lastError)
    : files_(files), accounts_(accounts), lastError_(std::move(lastError)) {}

TImageUrlCache::~TImageUrlCache() {
  if (!walks_.empty())
    WriteChanges();
}

void TImageUrlCache::ListContainers() {
  if (!containers_.empty())
    return;
  const auto add = [&](TContainerKind kind, const std::string& folder) {
    // A name with wildcards is no file's name; looking it up would find others.
    if (folder.find_first_of("*?") != std::string::npos)
      return;
    auto c = std::make_unique<TContainer>();
    c->kind = kind;
    c->folder = folder;
    c->index = Join(folder, "index.dat");
    containers_.push_back(std::move(c));
  };
  std::string path;
  if (accounts_.SpecialFolder(CSIDL_INTERNET_CACHE, path))
    add(TContainerKind::Content, Join(path, "Content.IE5"));
  if (accounts_.SpecialFolder(CSIDL_COOKIES, path))
    add(TContainerKind::Cookies, path);
  if (!accounts_.SpecialFolder(CSIDL_HISTORY, path))
    return;
  const std::string history = Join(path, "History.IE5");
  add(TContainerKind::History, history);
  // The day and week containers. A linked folder is passed over: it would make another
  // container's index.dat (or any file) one that deletions rewrite.
  std::vector<std::string> days;
  TFindData data;
  const THandleValue find = files_.FindFirst(Join(history, "MSHist*"), data);
  if (find == kInvalidHandle)
    return;
  do {
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
        (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && SafeName(data.cFileName))
      days.push_back(data.cFileName);
  } while (files_.FindNext(find, data));
  files_.FindEnd(find);
  std::sort(days.begin(), days.end(), [](const std::string& a, const std::string& b) {
    return UpperCaseAscii(a) < UpperCaseAscii(b);
  });
  for (const std::string& day : days)
    add(TContainerKind::History, Join(history, day));
}

TImageUrlCache::TContainer& TImageUrlCache::Loaded(TContainer& c) {
  if (c.loaded)
    return c;
  c.loaded = true;
  // The size is looked at first: a hostile image's huge file is refused before it is read.
  TFindData data;
  const THandleValue find = files_.FindFirst(c.index, data);
  if (find == kInvalidHandle) {
    const std::uint32_t error = lastError_->Get();
    c.error = MissingError(error) ? 0 : error;
    return c;
  }
  files_.FindEnd(find);
  // The same file reached as a second container (a hostile image's shell folders can point
  // anywhere) is served once: two copies of it would each be written over the other.
  c.hostPath = files_.HostPath(c.index);
  for (const auto& other : containers_)
    if (other.get() != &c && other->loaded && other->hostPath == c.hostPath)
      return c;
  if (data.nFileSize > kMaxIndexDatSize) {
    c.error = ERROR_FILE_CORRUPT;
    return c;
  }
  if (!files_.ReadWhole(c.index, c.bytes)) {
    const std::uint32_t error = lastError_->Get();
    c.error = MissingError(error) ? 0 : error;
    return c;
  }
  try {
    if (c.bytes.size() > kMaxIndexDatSize)
      throw std::runtime_error("index.dat grew past its limit");
    c.dat = ReadIndexDat(c.bytes);
    if (!c.dat.Damage.empty())
      c.error = ERROR_FILE_CORRUPT;
    c.byUrl.reserve(c.dat.Records.size());
    for (std::size_t i = 0; i < c.dat.Records.size(); ++i)
      c.byUrl.emplace(c.dat.Records[i].Url, static_cast<std::uint32_t>(i));
    c.deleted.assign(c.dat.Records.size(), false);
    // A cache folder that is a link leads out of the container: a file named through it is
    // neither handed out (callers delete it) nor removed.
    for (const std::string& name : c.dat.CacheFolders) {
      const std::uint32_t attributes =
          SafeName(name) ? files_.Attributes(Join(c.folder, name)) : kInvalidAttributes;
      c.usableFolders.push_back(
          SafeName(name) &&
          (attributes == kInvalidAttributes || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0));
    }
  } catch (const std::bad_alloc&) {
    c.error = ERROR_NOT_ENOUGH_MEMORY;
  } catch (const std::exception&) {
    c.error = ERROR_FILE_CORRUPT;
  }
  if (c.error != 0 && c.dat.Records.empty()) {
    c.dat = TIndexDat();
    c.byUrl.clear();
    c.deleted.clear();
    std::string().swap(c.bytes);
  }
  return c;
}

std::vector<TImageUrlCache::TContainer*> TImageUrlCache::Selected(const std::string& pattern,
                                                                  bool& known) {
  known = true;
  bool (*wanted)(TContainerKind) = nullptr;
  if (pattern.empty() || pattern == "*")
    wanted = [](TContainerKind) { return true; };
  else if (SameTextAscii(pattern, "cookie:"))
    wanted = [](TContainerKind k) { return k == TContainerKind::Cookies; };
  else if (SameTextAscii(pattern, "visited:"))
    wanted = [](TContainerKind k) { return k == TContainerKind::History; };
  else {
    known = false;
    return {};
  }
  ListContainers();
  std::vector<TContainer*> selected;
  for (const auto& c : containers_)
    if (wanted(c->kind))
      selected.push_back(c.get());
  return selected;
}

std::uint32_t TImageUrlCache::Serve(TWalk& walk, TUrlCacheEntryInfo* entry, std::uint32_t& size) {
  while (walk.container < walk.containers.size()) {
    TContainer& c = Loaded(*walk.containers[walk.container]);
    const std::size_t records = c.dat.Records.size();
    while (walk.record < records && c.deleted[walk.record]) {
      ++walk.record;
      walk.current.reset();
    }
    if (walk.record == records) {
      if (c.error != 0 && walk.error == 0)
        walk.error = c.error;
      ++walk.container;
      walk.record = 0;
      walk.current.reset();
      continue;
    }
    if (!walk.current) {
      const TIndexDatRecord& r = c.dat.Records[walk.record];
      TUrlCacheEntryData& d = walk.current.emplace();
      d.SourceUrl = r.Url;
      d.LocalFile = c.LocalFile(r);
      d.Headers = r.Headers;
      d.Extension = ExtensionOf(d.LocalFile);
      d.EntryType = r.EntryType;
      d.UseCount = r.UseCount;
      d.HitRate = r.HitRate;
      d.Size = r.FileSize;
      d.LastModified = r.LastModified;
      d.Expire = r.Expire;
      d.LastAccess = r.LastAccess;
      d.LastSync = r.LastSync;
      d.ExemptDelta = r.ExemptDelta;
    }
    if (!FillUrlCacheEntry(*walk.current, entry, size))
      return ERROR_INSUFFICIENT_BUFFER;
    ++walk.record;
    walk.current.reset();
    return ERROR_SUCCESS;
  }
  if (walk.error != 0 && !walk.errorReported) {
    walk.errorReported = true;
    return walk.error;
  }
  return ERROR_NO_MORE_ITEMS;
}

THandleValue TImageUrlCache::FindFirst(const std::string& pattern, TUrlCacheEntryInfo* entry,
                                       std::uint32_t& size) {
  const std::lock_guard<std::mutex> lock(mutex_);
  std::unique_ptr<TWalk> walk;
  if (probe_ && probe_->pattern == pattern) {
    walk = std::move(probe_);
  } else {
    probe_.reset();
    bool known = false;
    std::vector<TContainer*> selected = Selected(pattern, known);
    if (!known) {
      ReleaseWhenIdle();
      return Fail(THandleValue{0}, ERROR_INVALID_PARAMETER);
    }
    walk = std::make_unique<TWalk>();
    walk->pattern = pattern;
    walk->containers = std::move(selected);
  }
  const std::uint32_t result = Serve(*walk, entry, size);
  if (result == ERROR_SUCCESS) {
    const THandleValue handle = nextHandle_++;
    walks_.emplace(handle, std::move(walk));
    return handle;
  }
  if (result == ERROR_INSUFFICIENT_BUFFER)
    probe_ = std::move(walk);
  ReleaseWhenIdle();
  return Fail(THandleValue{0}, result);
}

bool TImageUrlCache::FindNext(THandleValue find, TUrlCacheEntryInfo* entry, std::uint32_t& size) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto walk = walks_.find(find);
  if (walk == walks_.end())
    return Fail(false, ERROR_INVALID_HANDLE);
  const std::uint32_t result = Serve(*walk->second, entry, size);
  return result == ERROR_SUCCESS || Fail(false, result);
}

bool TImageUrlCache::FindEnd(THandleValue find) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (walks_.erase(find) == 0)
    return Fail(false, ERROR_INVALID_HANDLE);
  if (!walks_.empty())
    return true;
  const std::uint32_t error = WriteChanges();
  ReleaseWhenIdle();
  return error == ERROR_SUCCESS || Fail(false, error);
}

TImageUrlCache::TContainer* TImageUrlCache::Find(const std::string& url, std::uint32_t& record) {
  ListContainers();
  for (const auto& c : containers_) {
    const TContainer& loaded = Loaded(*c);
    const auto at = loaded.byUrl.find(url);
    if (at != loaded.byUrl.end() && !loaded.deleted[at->second]) {
      record = at->second;
      return c.get();
    }
  }
  return nullptr;
}

bool TImageUrlCache::DeleteEntry(const std::string& url) {
  const std::lock_guard<std::mutex> lock(mutex_);
  // A walk that was only probed is given up: its deletions would wait for a close that may
  // never come.
  probe_.reset();
  std::uint32_t record = 0;
  TContainer* const c = Find(url, record);
  std::uint32_t error = ERROR_SUCCESS;
  if (c == nullptr) {
    error = ERROR_FILE_NOT_FOUND;
  } else if (c->error != 0) {
    error = ERROR_FILE_CORRUPT; // what we cannot read whole we do not rewrite
  } else if (!c->replaceChecked && !files_.CanReplace(c->index)) {
    error = lastError_->Get();
  } else {
    c->replaceChecked = true;
    const TIndexDatRecord& r = c->dat.Records[record];
    if (!DeleteIndexDatRecord(c->bytes, r)) {
      error = ERROR_FILE_CORRUPT;
    } else {
      c->deleted[record] = true;
      c->changed = true;
      if (const std::string file = c->LocalFile(r); !file.empty()) {
        const std::size_t slash = file.rfind('\\');
        c->filesToRemove[file.substr(0, slash)].push_back(file.substr(slash + 1));
      }
    }
  }
  if (walks_.empty()) {
    if (error == ERROR_SUCCESS)
      error = WriteChanges();
    ReleaseWhenIdle();
  }
  return error == ERROR_SUCCESS || Fail(false, error);
}

bool TImageUrlCache::UnlockEntryFile(const std::string& url) {
  const std::lock_guard<std::mutex> lock(mutex_);
  std::uint32_t record = 0;
  const bool known = Find(url, record) != nullptr;
  ReleaseWhenIdle();
  return known || Fail(false, ERROR_FILE_NOT_FOUND);
}

std::uint32_t TImageUrlCache::WriteChanges() {
  std::uint32_t firstError = ERROR_SUCCESS;
  for (const auto& c : containers_) {
    if (!c->changed)
      continue;
    c->changed = false;
    std::uint32_t error = ERROR_SUCCESS;
    std::string tempPath;
    if (auto temp = files_.CreateBeside(c->index, tempPath)) {
      int err = 0;
      if (!WriteAll(temp->fd, c->bytes, err) || ::fsync(temp->fd) != 0)
        error = WriteError(err != 0 ? err : errno);
      temp.reset();
      if (error == ERROR_SUCCESS && !files_.Replace(c->index, tempPath))
        error = lastError_->Get();
      if (error != ERROR_SUCCESS)
        files_.Delete(tempPath);
    } else {
      error = lastError_->Get();
    }
    if (error != ERROR_SUCCESS) {
      if (firstError == ERROR_SUCCESS)
        firstError = error;
      continue;
    }
    // The index no longer names these files. A folder that is a link now is refused.
    for (const auto& [folder, names] : c->filesToRemove)
      files_.DeleteFilesIn(folder, names);
    c->filesToRemove.clear();
  }
  return firstError;
}

void TImageUrlCache::ReleaseWhenIdle() {
  if (walks_.empty() && !probe_)
    containers_.clear();
}

} // namespace quillon::winapi::image
