#pragma once
// Image kit: writes URL-cache index files (index.dat, version 5.2) as WinINet lays them out, for
// tests, benchmarks and the demo image.

#include "winapi/image/IndexDat.h"

#include <string>
#include <vector>

namespace quillon::kit {

// The bytes of an index.dat holding records in the order given (their Offset is ignored), with
// cacheFolders as its cache-folder table (names of 8 characters). ReadIndexDat gives the records
// back, and msiecfexport reads the file.
std::string BuildIndexDat(const std::vector<std::string>& cacheFolders,
                          const std::vector<winapi::image::TIndexDatRecord>& records);

} // namespace quillon::kit
