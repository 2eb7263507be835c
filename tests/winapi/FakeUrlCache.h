#pragma once
// A URL cache held in memory, for tests of what lists, cleans and purges the cache: entries are
// handed out with WinINet's size-probe protocol, deletions and unlocks are recorded, and a test
// can make a call fail with the error it names.

#include "winapi/UrlCacheEntry.h"
#include "winapi/WinApi.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace quillon::test {

class TFakeUrlCache : public winapi::TUrlCacheService {
public:
  explicit TFakeUrlCache(std::shared_ptr<winapi::TLastError> lastError)
      : lastError_(std::move(lastError)) {}

  std::vector<winapi::TUrlCacheEntryData> Entries;
  std::vector<std::string> Deleted;  // URLs, in the order deleted
  std::vector<std::string> Unlocked; // URLs, in the order unlocked
  std::uint32_t DeleteError = 0;     // when set, DeleteEntry fails with it
  std::uint32_t WalkError = 0;       // when set, the walk ends with it instead of no more items
  std::uint32_t CloseError = 0;      // when set, FindEnd fails with it
  int Walks = 0;                     // walks begun (a first entry handed out)
  int Closes = 0;

  winapi::THandleValue FindFirst(const std::string& /*pattern*/, winapi::TUrlCacheEntryInfo* entry,
                                 std::uint32_t& size) override {
    if (Entries.empty())
      return Fail(winapi::THandleValue{0}, winapi::ERROR_NO_MORE_ITEMS);
    if (!winapi::FillUrlCacheEntry(Entries.front(), entry, size))
      return Fail(winapi::THandleValue{0}, winapi::ERROR_INSUFFICIENT_BUFFER);
    ++Walks;
    const winapi::THandleValue handle = nextHandle_++;
    walks_[handle] = TWalk{Entries, 1};
    return handle;
  }

  bool FindNext(winapi::THandleValue find, winapi::TUrlCacheEntryInfo* entry,
                std::uint32_t& size) override {
    const auto walk = walks_.find(find);
    if (walk == walks_.end())
      return Fail(false, winapi::ERROR_INVALID_HANDLE);
    TWalk& w = walk->second;
    if (w.next >= w.entries.size())
      return Fail(false, WalkError != 0 ? WalkError : winapi::ERROR_NO_MORE_ITEMS);
    if (!winapi::FillUrlCacheEntry(w.entries[w.next], entry, size))
      return Fail(false, winapi::ERROR_INSUFFICIENT_BUFFER);
    ++w.next;
    return true;
  }

  bool FindEnd(winapi::THandleValue find) override {
    ++Closes;
    if (walks_.erase(find) == 0)
      return Fail(false, winapi::ERROR_INVALID_HANDLE);
    return CloseError == 0 || Fail(false, CloseError);
  }

  bool DeleteEntry(const std::string& url) override {
    if (DeleteError != 0)
      return Fail(false, DeleteError);
    for (auto it = Entries.begin(); it != Entries.end(); ++it)
      if (it->SourceUrl == url) {
        Entries.erase(it);
        Deleted.push_back(url);
        return true;
      }
    return Fail(false, winapi::ERROR_FILE_NOT_FOUND);
  }

  bool UnlockEntryFile(const std::string& url) override {
    Unlocked.push_back(url);
    return true;
  }

private:
  struct TWalk {
    std::vector<winapi::TUrlCacheEntryData> entries; // as the walk began
    std::size_t next = 0;
  };

  template <class T> T Fail(T result, std::uint32_t code) {
    lastError_->Set(code);
    return result;
  }

  std::shared_ptr<winapi::TLastError> lastError_;
  std::map<winapi::THandleValue, TWalk> walks_;
  winapi::THandleValue nextHandle_ = 0x1000;
};

} // namespace quillon::test
