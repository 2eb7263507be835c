#pragma once
// The URL-cache index file (index.dat, "Client UrlCache MMF Ver 5.2"; 4.7 read where it differs):
// reading its URL records and removing one, as bytes in memory. The file comes from the image, so
// every offset, count and size in it is checked before it is used; nothing here touches a file.

#include "winapi/Services.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::winapi::image {

// The largest index.dat read; a real one stays far below (WinINet grows it in 16 KB steps).
constexpr std::size_t kMaxIndexDatSize = 512u << 20;

// The cache-folder index of a record whose file lies in the container's folder itself (cookies)
// or that has no file (history).
constexpr std::uint8_t kNoCacheFolder = 0xFF;

// One URL record, with the fields WinINet reports for an entry.
struct TIndexDatRecord {
  std::uint32_t Offset = 0;   // of the record in the file
  std::uint32_t HashItem = 0; // of the hash-table item that lists it, in the file
  std::string Url;
  std::string FileName;                      // as stored; empty for none
  std::uint8_t CacheFolder = kNoCacheFolder; // index into TIndexDat::CacheFolders
  std::string Headers;                       // the HTTP response headers kept with it
  std::uint32_t EntryType = 0;               // the CacheEntryType flags
  std::uint32_t UseCount = 0;                // how often the entry is locked now
  std::uint32_t HitRate = 0;                 // how often it was used
  std::uint64_t FileSize = 0;
  TFileTime LastModified;
  TFileTime Expire;
  TFileTime LastAccess;
  TFileTime LastSync;
  std::uint32_t ExemptDelta = 0;
};

struct TIndexDat {
  std::string Version;                   // "5.2", "4.7"
  std::vector<std::string> CacheFolders; // the names of the cache-folder table, in table order
  std::vector<TIndexDatRecord> Records;  // in the order WinINet enumerates them
  // Empty, or why the reading stopped before the end: the records before it are kept.
  std::string Damage;
};

// A FAT date and time (date in the low word, time in the high word) as a FILETIME, both UTC as
// stored; zero or an impossible date (no day or month) is no time at all.
TFileTime FatDateTimeToFileTime(std::uint32_t fatDateTime);

// Reads the URL records of a file's bytes. A file that is no index.dat at all throws
// std::runtime_error with the reason; damage further in ends the records there (Damage says why).
TIndexDat ReadIndexDat(std::string_view bytes);

// Removes a record that ReadIndexDat found in bytes, as WinINet does: its hash-table slot is
// freed, its blocks are cleared and marked free in the allocation bitmap, and the header's
// counts (allocated blocks, cache size, the cache folder's file count) follow. false when the
// record is not where ReadIndexDat found it.
bool DeleteIndexDatRecord(std::string& bytes, const TIndexDatRecord& record);

} // namespace quillon::winapi::image
