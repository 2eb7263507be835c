#include "winapi/UrlCacheEntry.h"

#include <cstring>
#include <limits>

namespace quillon::winapi {

namespace {

std::uint64_t TextBytes(const std::string& text) {
  return text.empty() ? 0 : text.size() + 1;
}

// Copies text behind the record and answers where it went; null for an empty text.
char* PutText(const std::string& text, char*& next) {
  if (text.empty())
    return nullptr;
  char* const at = next;
  std::memcpy(at, text.data(), text.size());
  at[text.size()] = '\0';
  next += text.size() + 1;
  return at;
}

} // namespace

std::uint32_t UrlCacheEntrySize(const TUrlCacheEntryData& data) {
  const std::uint64_t size = sizeof(TUrlCacheEntryInfo) + TextBytes(data.SourceUrl) +
                             TextBytes(data.LocalFile) + TextBytes(data.Headers) +
                             TextBytes(data.Extension);
  // Texts come from index.dat files of at most a few hundred MB, so this never saturates in
  // practice; if it did, no buffer could hold the entry.
  return size > std::numeric_limits<std::uint32_t>::max()
             ? std::numeric_limits<std::uint32_t>::max()
             : static_cast<std::uint32_t>(size);
}

bool FillUrlCacheEntry(const TUrlCacheEntryData& data, TUrlCacheEntryInfo* entry,
                       std::uint32_t& size) {
  const std::uint32_t needed = UrlCacheEntrySize(data);
  if (entry == nullptr || size < needed) {
    size = needed;
    return false;
  }
  TUrlCacheEntryInfo info;
  info.dwStructSize = sizeof(TUrlCacheEntryInfo);
  info.CacheEntryType = data.EntryType;
  info.dwUseCount = data.UseCount;
  info.dwHitRate = data.HitRate;
  info.dwSizeLow = static_cast<std::uint32_t>(data.Size & 0xFFFFFFFFu);
  info.dwSizeHigh = static_cast<std::uint32_t>(data.Size >> 32);
  info.LastModifiedTime = data.LastModified;
  info.ExpireTime = data.Expire;
  info.LastAccessTime = data.LastAccess;
  info.LastSyncTime = data.LastSync;
  info.dwExemptDelta = data.ExemptDelta;
  char* next = reinterpret_cast<char*>(entry) + sizeof(TUrlCacheEntryInfo);
  info.lpszSourceUrlName = PutText(data.SourceUrl, next);
  info.lpszLocalFileName = PutText(data.LocalFile, next);
  info.lpHeaderInfo = PutText(data.Headers, next);
  info.dwHeaderInfoSize = static_cast<std::uint32_t>(data.Headers.size());
  info.lpszFileExtension = PutText(data.Extension, next);
  *entry = info;
  size = needed;
  return true;
}

} // namespace quillon::winapi
