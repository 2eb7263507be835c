#pragma once
// Handing out a URL-cache entry as WinINet does: the record followed by its texts in one buffer
// of the caller's, with the size-probe answer when the buffer is too small. Every backend that
// serves the cache from its own data (the image's index.dat files, test doubles) uses it.

#include "winapi/Services.h"

#include <cstdint>
#include <string>

namespace quillon::winapi {

// One entry's values before they are handed out. An empty text is handed out as a null pointer.
struct TUrlCacheEntryData {
  std::string SourceUrl;
  std::string LocalFile; // absolute; empty for none
  std::string Headers;
  std::string Extension;
  std::uint32_t EntryType = 0;
  std::uint32_t UseCount = 0;
  std::uint32_t HitRate = 0;
  std::uint64_t Size = 0;
  TFileTime LastModified;
  TFileTime Expire;
  TFileTime LastAccess;
  TFileTime LastSync;
  std::uint32_t ExemptDelta = 0;
};

// The bytes the entry needs: the record, then each text with its terminating NUL.
std::uint32_t UrlCacheEntrySize(const TUrlCacheEntryData& data);

// Fills the caller's buffer of size bytes (entry may be null when size is 0). When it is too
// small, sets size to the bytes needed and answers false; the caller reports
// ERROR_INSUFFICIENT_BUFFER.
bool FillUrlCacheEntry(const TUrlCacheEntryData& data, TUrlCacheEntryInfo* entry,
                       std::uint32_t& size);

} // namespace quillon::winapi
