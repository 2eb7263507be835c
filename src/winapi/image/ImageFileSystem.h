#pragma once
// Files and folders of a Windows system image under Windows path rules. Drive C: is the image
// root, Z: the host's "/" (read-through, as Wine does), further drives as configured. Each path
// component resolves without regard to case (an exact match first); ".." never climbs above a
// drive's root; a path with no drive letter or an unmapped drive is simply not found.
//
// As on Windows, a file whose READONLY attribute is set (no host write bit, or not writable by
// us) is not overwritten, replaced or deleted; SetFileAttributes clears the attribute first.

#include "winapi/WinApi.h"
#include "winapi/image/ImageConfig.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::winapi::image {

class TImageFileSystem {
public:
  explicit TImageFileSystem(const TImageConfig& config);
  ~TImageFileSystem();
  TImageFileSystem(const TImageFileSystem&) = delete;
  TImageFileSystem& operator=(const TImageFileSystem&) = delete;

  DWORD GetFileAttributes(const std::string& path);
  HANDLE FindFirstFile(const std::string& fileName, WIN32_FIND_DATA& data);
  BOOL FindNextFile(HANDLE find, WIN32_FIND_DATA& data);
  BOOL FindClose(HANDLE find);
  BOOL DeleteFile(const std::string& path);
  BOOL CreateDirectory(const std::string& path);
  BOOL RemoveDirectory(const std::string& path);
  BOOL MoveFileEx(const std::string& existing, const std::string& newName, DWORD flags);
  BOOL CopyFile(const std::string& existing, const std::string& newName, BOOL failIfExists);
  BOOL SetFileAttributes(const std::string& path, DWORD attributes);
  bool ReadWholeFile(const std::string& path, std::string& data);
  bool WriteWholeFile(const std::string& path, std::string_view data);
  std::unique_ptr<std::istream> OpenFileStream(const std::string& path);
  // Host path of a Windows path: existing components resolved case-insensitively, the missing
  // tail kept as given. Empty when the drive is not mapped or the path is malformed.
  std::string HostPath(const std::string& path) const;
  std::string WindowsPathFromHost(const std::string& hostPath) const;
  UINT GetDriveType(const std::string& rootPath) const;
  std::string GetModuleFileName() const;

private:
  struct TFindState;
  struct TDrive {
    char letter = 0;
    std::string root;          // absolute, lexically normal, no trailing "/" (except "/")
    std::string canonicalRoot; // the same with symbolic links resolved
  };
  struct TResolved; // a Windows path laid over the host

  const TDrive* DriveOf(char letter) const;
  // False (with the error to report) when the path is malformed or its drive is not mapped.
  bool Resolve(const std::string& path, TResolved& result, DWORD& error) const;
  // Resolve, and false with the error a missing entry reports when the path names nothing.
  bool ResolveExisting(const std::string& path, TResolved& result, DWORD& error) const;
  void ResolveParts(const TDrive& drive, const std::vector<std::string>& parts,
                    TResolved& result) const;

  TImageConfig config_;
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
