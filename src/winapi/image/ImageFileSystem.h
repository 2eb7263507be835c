#pragma once
// Files and folders of a Windows system image under Windows path rules. Drive C: is the image
// root, further drives as configured; the program's own folder is served read-only as the share
// \\quillon\program (no drive letter is the host's). Each path component resolves without regard to
// case (an exact match first); a path with no drive letter or an unmapped drive is simply not
// found.
//
// The image is untrusted: every path stays inside its drive. ".." never climbs above a drive's
// root, and a symbolic link in the image is followed as the drive's own system would follow it
// (an absolute target from the drive's root), never by the host: the walk holds a descriptor of
// each folder on the way and acts on the last one, so no link can lead onto the host.
//
// As on Windows, a file whose READONLY attribute is set (no host write bit, or not writable by
// us) is not overwritten, replaced or deleted; SetFileAttributes clears the attribute first. A
// file another program holds locked is not deleted, replaced or truncated.

#include "winapi/WinApi.h"
#include "winapi/image/ImageConfig.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::winapi::image {

struct TEntryInfo; // what the host says of one entry

class TImageFileSystem : public TFileService {
public:
  // Failures set lastError (the backend's).
  explicit TImageFileSystem(const TImageConfig& config, std::shared_ptr<TLastError> lastError =
                                                            std::make_shared<TThreadLastError>());
  ~TImageFileSystem() override;
  TImageFileSystem(const TImageFileSystem&) = delete;
  TImageFileSystem& operator=(const TImageFileSystem&) = delete;

  std::uint32_t Attributes(const std::string& path) override;
  THandleValue FindFirst(const std::string& fileName, TFindData& data) override;
  bool FindNext(THandleValue find, TFindData& data) override;
  bool FindEnd(THandleValue find) override;
  bool Delete(const std::string& path) override;
  // Deletes the plain files of one folder named in names (without regard to case) as Delete
  // would delete each, but resolves and lists the folder once, so thousands cost one path walk.
  // Only regular files that are neither read-only nor held by another program go; names that
  // are missing or not plain names are passed over. The folder itself must not be a link.
  // Answers how many were deleted (0 with the error when the folder is refused).
  std::size_t DeleteFilesIn(const std::string& folder, const std::vector<std::string>& names);
  bool MakeFolder(const std::string& path) override;
  bool RemoveFolder(const std::string& path) override;
  bool Move(const std::string& existing, const std::string& newName, std::uint32_t flags) override;
  bool Copy(const std::string& existing, const std::string& newName, bool failIfExists) override;
  bool SetAttributes(const std::string& path, std::uint32_t attributes) override;
  bool Replace(const std::string& replaced, const std::string& replacement) override;
  // Whether Replace could put new content in place of the existing file at path: false with
  // the error it would fail with (read-only: ERROR_ACCESS_DENIED; held open by another program:
  // ERROR_SHARING_VIOLATION), so a change kept in memory is refused before it is made.
  bool CanReplace(const std::string& path);
  bool ReadWhole(const std::string& path, std::string& data) override;
  bool WriteWhole(const std::string& path, std::string_view data,
                  std::uint32_t creationDisposition = CREATE_ALWAYS) override;
  // Host path of a Windows path: existing components resolved case-insensitively and links
  // resolved inside the drive, the missing tail kept as given. Empty when the drive is not
  // mapped or the path is malformed.
  std::string HostPath(const std::string& path) override;
  std::string WindowsPathFromHost(const std::string& hostPath) override;
  std::uint32_t DriveType(const std::string& rootPath) override;
  std::string ModuleFileName() override;

  // A file of the image held open for a library that opens files by name (hivex): path names
  // the open file through /proc/self/fd, so the library reaches exactly the file resolved here.
  struct TLibraryFile {
    int fd = -1;
    std::string path;
    TLibraryFile() = default;
    TLibraryFile(const TLibraryFile&) = delete;
    TLibraryFile& operator=(const TLibraryFile&) = delete;
    ~TLibraryFile();
  };
  // The existing plain file at path, opened to read; null (GetLastError set) otherwise.
  std::unique_ptr<TLibraryFile> OpenForLibrary(const std::string& path) const;
  // A new, empty file in the folder of the existing file at path, made exclusively; tempPath is
  // its Windows path, for ReplaceFile or DeleteFile once the library has written it.
  std::unique_ptr<TLibraryFile> CreateBeside(const std::string& path, std::string& tempPath);

private:
  struct TFindState;
  struct TDrive {
    char letter = 0;
    bool readOnly = false;     // nothing on it is created, changed or deleted
    std::string root;          // absolute, lexically normal, no trailing "/" (except "/")
    std::string canonicalRoot; // the same with symbolic links resolved
    int rootFd = -1;           // the root folder, held open for the life of the object
  };
  struct TResolved; // a Windows path laid over the host
  // Whether a link that is the path's last component is followed or taken as itself (to delete
  // or rename the link, not what it leads to).
  enum class TLinkPolicy { Follow, Entry };

  void AddDrive(char letter, const std::string& root, bool readOnly);
  const TDrive* DriveOf(char letter) const;
  // "C:", or the share that stands for a drive without a letter.
  static std::string RootText(const TDrive& drive);
  // False (with the error to report) when the path is malformed or its drive is not mapped.
  bool Resolve(const std::string& path, TLinkPolicy last, TResolved& result, DWORD& error) const;
  // Resolve, and false with the error a missing entry reports when the path names nothing.
  bool ResolveExisting(const std::string& path, TLinkPolicy last, TResolved& result,
                       DWORD& error) const;
  void Walk(const TDrive& drive, const std::vector<std::string>& parts, TLinkPolicy last,
            TResolved& result) const;
  bool WalkAtOnce(const TDrive& drive, const std::vector<std::string>& parts, TLinkPolicy last,
                  TResolved& result) const;
  static bool ReadLink(int dirFd, const std::string& name, std::string& target);
  // The entry's information, or for a link what it leads to; false for a link that leads
  // nowhere.
  bool FollowedInfo(const std::string& path, const TResolved& entry, TEntryInfo& info) const;
  // Why the resolved target of a Replace may not be replaced (0 when it may); kept receives
  // what the replaced name stands for, whose permissions the new content takes.
  DWORD ReplaceRefused(const std::string& replaced, const TResolved& target,
                       TEntryInfo& kept) const;
  bool NextFound(TFindState& state, TFindData& data) const;
  template <class T> T Fail(T result, DWORD code) const {
    lastError_->Set(code);
    return result;
  }

  TImageConfig config_;
  std::shared_ptr<TLastError> lastError_;
  std::vector<TDrive> drives_; // C: first, then the other letters in order
  std::mutex findsMutex_;
  std::map<HANDLE, std::unique_ptr<TFindState>> finds_;
  HANDLE nextHandle_ = 1;
};

// Windows wildcard match of one file name: "*" any run, "?" one character, "*.*" also matches
// names without a dot, a trailing "." matches only names without a dot, case ignored. An empty
// name or mask matches nothing.
bool MatchesWildcard(std::string_view name, std::string_view mask);

} // namespace quillon::winapi::image
