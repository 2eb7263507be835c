#pragma once
// Lists the files and folders that match one or more masks in one folder level. The favourites
// reader walks its folders level by level itself and the folder purge wants one level only, so
// the finder never descends.

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace quillon {

// The search state. Masks holds one or more masks separated by ";"; each mask is a path with a
// file pattern ("C:\F\*.url") or a folder path ending in "\" (searched as "*.*").
class TFileFinder {
public:
  using THandler = std::function<void(const std::string& name)>;

  // Report the folder part of the mask followed by the entry name, else the bare entry name.
  bool FullPaths = false;
  std::string Masks;
  // Receivers of the entries met; an empty handler ignores its kind.
  THandler OnFile;
  THandler OnFolder;

  // Scans every mask in order. Masks that match nothing or name a missing folder report nothing.
  void Search();

private:
  void ScanMask(const std::string& mask);

  std::deque<std::string> queue_;
};

// Gathers the finder's reports into two lists.
class TFileFinderCollector {
public:
  std::vector<std::string> Files;
  std::vector<std::string> Folders;

  void AddFile(const std::string& name) { Files.push_back(name); }
  void AddFolder(const std::string& name) { Folders.push_back(name); }
};

// Appends the files, then the folders, that the masks match to result (not cleared, not sorted).
void FindFiles(const std::string& masks, std::vector<std::string>& result, bool wantFiles,
               bool wantFolders, bool fullPaths);

} // namespace quillon
