#pragma once
// Image kit: writes URL-cache index files (index.dat, version 5.2) as WinINet lays them out, for
// tests, benchmarks and the demo image.

#include "winapi/image/IndexDat.h"

#include <cstddef>
#include <string>
#include <vector>

namespace quillon::kit {

// The bytes of an index.dat holding records in the order given (their Offset is ignored), with
// cacheFolders as its cache-folder table (names of 8 characters). ReadIndexDat gives the records
// back, and msiecfexport reads the file. The hash items take the records in order rather than by
// WinINet's URL hash: Windows would enumerate them but not look one up by its URL. The allocation
// bitmap bounds a file to kMaxIndexDatBlocks blocks of 128 bytes (about 16 MB): each record takes
// IndexDatRecordBlocks, each 510 records one hash table of 32 blocks; more throws
// std::length_error. A record with a URL of at most 15 characters, a file name of at most 7 and no
// headers takes one block, so 100,000 of them fit.
constexpr std::size_t kMaxIndexDatBlocks = 126336;
std::size_t IndexDatRecordBlocks(const winapi::image::TIndexDatRecord& record);

std::string BuildIndexDat(const std::vector<std::string>& cacheFolders,
                          const std::vector<winapi::image::TIndexDatRecord>& records);

} // namespace quillon::kit
