#pragma once
// Lists the files and/or subfolders of a folder whose names match a wildcard mask, optionally
// descending into subfolders. The file system matches the mask ("*", "?") itself.

#include <string>
#include <vector>

namespace quillon {

// Output modes of ListFolder.
constexpr unsigned char kListNameOnly = 0;
constexpr unsigned char kListWithFolder = 1;

// The entries that the pattern ("C:\A\Opera*") matches, in the order of enumeration, names
// trimmed of surrounding blanks; "." and ".." are included when folders are. Mode 1 gives the
// folder part of the pattern + name, mode 0 the name alone, any other mode nothing.
std::vector<std::string> ListFolder(const std::string& pattern, bool includeFiles,
                                    bool includeFolders, unsigned char outputMode);

// Removes "." and ".." and every entry ending in "\." or "\..".
void RemoveDotEntries(std::vector<std::string>& list);

// The files and/or folders below the pattern's folder whose names match its last component;
// with recurse, subfolders are searched breadth-first. fullPaths gives full paths, otherwise
// paths relative to the pattern's folder. Folder names carry no trailing "\".
std::vector<std::string> SearchPath(const std::string& pattern, bool files, bool folders,
                                    bool recurse, bool fullPaths);

} // namespace quillon
