#include "formats/StoreFile.h"

#include "winapi/WinApi.h"

namespace quillon {

bool ReplaceStoreFile(const std::string& path, std::string_view content) {
  if (path.empty()) {
    winapi::SetLastError(winapi::ERROR_INVALID_NAME);
    return false;
  }
  const std::string temp = path + std::string(kStoreTempSuffix);
  // A temporary file left by an earlier run (or planted: it may be a link) is removed, never
  // written through; the new one is created exclusively.
  winapi::DeleteFile(temp);
  // An existing store is replaced keeping its permissions and owner; a new one is moved in.
  const bool exists = winapi::GetFileAttributes(path) != winapi::INVALID_FILE_ATTRIBUTES;
  if (winapi::WriteWholeFile(temp, content, winapi::CREATE_NEW) &&
      (exists ? winapi::ReplaceFile(path, temp) : winapi::MoveFileEx(temp, path, 0)))
    return true;
  // A write that failed half-way leaves a partial file; it must not stay beside the store. The
  // cause of the failure, not the clean-up's, is what the caller reports.
  const winapi::DWORD error = winapi::GetLastError();
  winapi::DeleteFile(temp);
  winapi::SetLastError(error);
  return false;
}

void RaiseFileCreateError(const std::string& fileName) {
  throw EFCreateError("Cannot create file \"" + fileName + "\". " +
                      winapi::FormatMessage(winapi::GetLastError()));
}

} // namespace quillon
