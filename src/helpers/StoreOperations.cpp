#include "helpers/StoreOperations.h"

#include "discovery/BrowserManager.h"
#include "platform/FileFinder.h"
#include "winapi/WinApi.h"

#include <vector>

namespace quillon {

namespace {

// Shorter locations are a drive root or little more ("C:\", "C:\Temp"); sweeping them would
// take files that no browser owns.
constexpr std::size_t kShortestPurgeableFolder = 8;

} // namespace

void ClearProfileLists(TBrowserProfile& profile) {
  for (TCacheList& list : profile.Lists)
    list.Clear();
}

std::string ExtractFolderPart(std::string_view path) {
  const std::size_t pos = path.find_last_of("\\:");
  return pos == std::string_view::npos ? std::string() : std::string(path.substr(0, pos + 1));
}

void PurgeFolder(TBrowserProfile& profile, TCacheType kind) {
  const std::string& location = profile.GetLocation(kind);
  if (location.size() < kShortestPurgeableFolder || !winapi::DirectoryExists(location))
    return;
  std::string folder = location;
  if (folder.back() != '\\')
    folder += '\\';
  std::vector<std::string> names;
  FindFiles(folder + "*.*", names, true, false, false);
  for (const std::string& name : names) {
    // A listing gives bare names; anything else would reach outside the folder.
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of("\\/") != std::string::npos)
      continue;
    winapi::DeleteFile(folder + name);
  }
  profile.GetList(kind).Clear();
}

void PurgeFile(TBrowserProfile& profile, TCacheType kind) {
  const std::string& location = profile.GetLocation(kind);
  if (location.empty() || !winapi::FileExists(location))
    return;
  if (winapi::DeleteFile(location))
    profile.GetList(kind).Clear();
}

} // namespace quillon
