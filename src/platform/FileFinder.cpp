#include "platform/FileFinder.h"

#include "platform/PathParts.h"
#include "winapi/WinApi.h"

namespace quillon {

using namespace winapi;

void TFileFinder::Search() {
  queue_.clear();
  std::string rest = Masks;
  for (auto semi = rest.find(';'); semi != std::string::npos; semi = rest.find(';')) {
    queue_.push_back(rest.substr(0, semi));
    rest.erase(0, semi + 1);
  }
  queue_.push_back(rest);
  for (std::string& mask : queue_)
    if (!mask.empty() && mask.back() == '\\')
      mask += "*.*";
  while (!queue_.empty()) {
    const std::string mask = std::move(queue_.front());
    queue_.pop_front();
    ScanMask(mask);
  }
}

void TFileFinder::ScanMask(const std::string& mask) {
  // An empty mask names no folder; the enumeration would fail anyway.
  if (mask.empty())
    return;
  // The enumeration reports every kind of entry (read-only, hidden, system, volume, directory
  // and archive are all wanted), so nothing is filtered by attribute.
  WIN32_FIND_DATA data;
  const TFindHandle find(FindFirstFile(mask, data));
  if (!find.Valid())
    return;
  const std::string folder = FolderPart(mask);
  do {
    if (data.cFileName == "." || data.cFileName == "..")
      continue;
    const std::string name = FullPaths ? folder + data.cFileName : data.cFileName;
    const THandler& handler =
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? OnFolder : OnFile;
    if (handler)
      handler(name);
  } while (FindNextFile(find.Get(), data));
}

void FindFiles(const std::string& masks, std::vector<std::string>& result, bool wantFiles,
               bool wantFolders, bool fullPaths) {
  TFileFinderCollector collector;
  TFileFinder finder;
  finder.FullPaths = fullPaths;
  if (wantFiles)
    finder.OnFile = [&collector](const std::string& name) { collector.AddFile(name); };
  if (wantFolders)
    finder.OnFolder = [&collector](const std::string& name) { collector.AddFolder(name); };
  finder.Masks = masks;
  finder.Search();
  result.insert(result.end(), collector.Files.begin(), collector.Files.end());
  result.insert(result.end(), collector.Folders.begin(), collector.Folders.end());
}

} // namespace quillon
