#include "platform/FolderSearch.h"

#include "platform/PathParts.h"
#include "winapi/WinApi.h"

#include <algorithm>
#include <deque>

namespace quillon {

using namespace winapi;

namespace {

constexpr std::size_t kMaxPath = 260;

// Blanks and control characters around a name.
std::string Trimmed(const std::string& s) {
  std::size_t begin = 0, end = s.size();
  while (begin < end && static_cast<unsigned char>(s[begin]) <= ' ')
    ++begin;
  while (end > begin && static_cast<unsigned char>(s[end - 1]) <= ' ')
    --end;
  return s.substr(begin, end - begin);
}

bool EndsWith(const std::string& s, std::string_view tail) {
  return s.size() >= tail.size() && std::string_view(s).substr(s.size() - tail.size()) == tail;
}

// Adds a ListFolder result (mode 1) to the output, either as it is or relative to the base.
void AddResults(const std::vector<std::string>& found, const std::string& currentFolder,
                const std::string& baseFolder, bool fullPaths, std::vector<std::string>& output) {
  for (const std::string& entry : found) {
    if (fullPaths)
      output.push_back(entry);
    else
      output.push_back(currentFolder.substr(std::min(baseFolder.size(), currentFolder.size())) +
                       NamePart(entry));
  }
}

} // namespace

std::vector<std::string> ListFolder(const std::string& pattern, bool includeFiles,
                                    bool includeFolders, unsigned char outputMode) {
  std::vector<std::string> list;
  const std::string folder = FolderPart(pattern);
  WIN32_FIND_DATA data;
  const TFindHandle find(FindFirstFile(pattern, data));
  if (!find.Valid())
    return list;
  do {
    const bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (isFolder ? !includeFolders : !includeFiles)
      continue;
    const std::string name = Trimmed(data.cFileName);
    if (outputMode == kListWithFolder)
      list.push_back(folder + name);
    else if (outputMode == kListNameOnly)
      list.push_back(name);
  } while (FindNextFile(find.Get(), data));
  return list;
}

void RemoveDotEntries(std::vector<std::string>& list) {
  std::erase_if(list, [](const std::string& s) {
    return s == "." || s == ".." || EndsWith(s, "\\.") || EndsWith(s, "\\..");
  });
}

std::vector<std::string> SearchPath(const std::string& pattern, bool files, bool folders,
                                    bool recurse, bool fullPaths) {
  const std::string baseFolder = FolderPart(pattern);
  const std::string mask = NamePart(pattern);
  std::vector<std::string> output;
  std::deque<std::string> work = {baseFolder + "*.*"};
  while (!work.empty()) {
    const std::string currentFolder = FolderPart(work.front());
    const std::string entryPattern = currentFolder + mask;
    // Folders come from their own pass below, cleaned of "." and ".."; asking for them here as
    // well would list every matching folder twice.
    if (files)
      AddResults(ListFolder(entryPattern, true, false, kListWithFolder), currentFolder, baseFolder,
                 fullPaths, output);
    if (folders) {
      std::vector<std::string> found = ListFolder(entryPattern, false, true, kListWithFolder);
      RemoveDotEntries(found);
      AddResults(found, currentFolder, baseFolder, fullPaths, output);
    }
    if (recurse) {
      std::vector<std::string> subfolders =
          ListFolder(currentFolder + "*.*", false, true, kListWithFolder);
      RemoveDotEntries(subfolders);
      // The "A" file functions take paths below MAX_PATH; the limit also ends a walk through a
      // folder link that points back at its own parent.
      for (const std::string& sub : subfolders)
        if (sub.size() + 1 + mask.size() < kMaxPath)
          work.push_back(sub + "\\");
    }
    work.pop_front();
  }
  return output;
}

} // namespace quillon
