// The host file checks of the SQLite layer on Windows, where host paths are Windows paths. The
// Linux build has its own; a Windows build takes this file in that one's place.

#include <windows.h>

#include "winapi/SQLiteHost.h"
#include "winapi/native/NativeHandle.h"
#include "winapi/native/NativeText.h"

#include <cstring>
#include <memory>

namespace quillon::winapi {

namespace {

bool IsPlain(DWORD attributes) {
  return (attributes &
          (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) == 0;
}

} // namespace

// GetFileAttributesEx describes a link itself, never what it leads to.
THostEntry HostEntryAt(const std::string& hostPath, std::uint64_t* size) {
  if (hostPath.find('\0') != std::string::npos)
    return THostEntry::Other;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(native::Wide(hostPath).c_str(), GetFileExInfoStandard, &data)) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? THostEntry::Missing
                                                                          : THostEntry::Other;
  }
  if (!IsPlain(data.dwFileAttributes))
    return THostEntry::Other;
  if (size != nullptr)
    *size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return THostEntry::PlainFile;
}

// The link itself is opened, never followed, and only a file on a disk is read: a path that names
// a pipe or a device cannot make the check wait.
bool IsQuietWalDatabase(const std::string& hostPath) {
  if (hostPath.find('\0') != std::string::npos)
    return false;
  const native::TFileHandle file =
      native::Owned(::CreateFileW(native::Wide(hostPath).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file)
    return false;
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileType(file.get()) != FILE_TYPE_DISK ||
      !::GetFileInformationByHandle(file.get(), &info) || !IsPlain(info.dwFileAttributes))
    return false;
  char header[20] = {};
  DWORD got = 0;
  if (!::ReadFile(file.get(), header, sizeof header, &got, nullptr) || got != sizeof header)
    return false;
  if (std::memcmp(header, "SQLite format 3", 16) != 0 || header[18] != 2 || header[19] != 2)
    return false;
  return HostEntryAt(hostPath + "-wal") == THostEntry::Missing;
}

// SQLite reads "file:///C:/dir/x.db" as the Windows path C:\dir\x.db; a UNC path keeps its two
// leading slashes after the empty authority.
std::string SQLiteFileUri(const std::string& hostPath) {
  std::string uri = "file:///";
  if (hostPath.size() >= 2 && hostPath[0] == '\\' && hostPath[1] == '\\')
    uri = "file://";
  AppendUriPath(uri, hostPath, true);
  return uri;
}

} // namespace quillon::winapi
