#pragma once
// The WinINet URL cache of an image's current user, served from the user's index.dat containers
// in WinINet's walk order: Content (<Cache>\Content.IE5), Cookies (<Cookies>), History
// (<History>\History.IE5, then its MSHist* day and week containers by name). A missing container
// is an empty one.
//
// Patterns: "" or "*" walk every container, "cookie:" only Cookies, "visited:" only the History
// containers (case ignored); any other pattern fails with ERROR_INVALID_PARAMETER.
//
// Each container is read whole, once, when a walk or a deletion first needs it, and kept in
// memory while any walk is open. Deletions made while a walk is open change only that copy and
// are written when the last walk closes (FindEnd reports a failure); a deletion outside any walk
// is written at once. A write puts a new index.dat beside the old one and replaces it, and only
// then removes the deleted entries' cached files.
//
// The image is hostile: a local file name is handed out, and its file removed, only when the
// record's file and cache-folder names keep it inside the container's folder.

#include "winapi/WinApi.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quillon::winapi::image {

class TImageFileSystem;

class TImageUrlCache final : public TUrlCacheService {
public:
  // The current user's folders come from accounts; failures set lastError (the backend's).
  TImageUrlCache(TImageFileSystem& files, TAccountService& accounts,
                 std::shared_ptr<TLastError> lastError);
  // Deletions still held by walks nobody closed are written.
  ~TImageUrlCache() override;
  TImageUrlCache(const TImageUrlCache&) = delete;
  TImageUrlCache& operator=(const TImageUrlCache&) = delete;

  // A container that cannot be read (other than missing) or is damaged is passed over; the
  // call that would answer ERROR_NO_MORE_ITEMS answers its error (damage: ERROR_FILE_CORRUPT)
  // once instead. A size probe never moves the walk on.
  THandleValue FindFirst(const std::string& pattern, TUrlCacheEntryInfo* entry,
                         std::uint32_t& size) override;
  bool FindNext(THandleValue find, TUrlCacheEntryInfo* entry, std::uint32_t& size) override;
  bool FindEnd(THandleValue find) override;
  // The first record of that exact URL in walk order. ERROR_FILE_NOT_FOUND for none;
  // ERROR_ACCESS_DENIED or ERROR_SHARING_VIOLATION when its index.dat is read-only or held by
  // another program (checked at the first deletion in a container while walks keep it);
  // ERROR_FILE_CORRUPT when its container is damaged.
  bool DeleteEntry(const std::string& url) override;
  // Nothing in an image is locked: succeeds for a URL the cache holds.
  bool UnlockEntryFile(const std::string& url) override;

private:
  struct TContainer;
  struct TWalk;

  // The containers in walk order, listed when nothing holds them yet.
  void ListContainers();
  TContainer& Loaded(TContainer& container);
  std::vector<TContainer*> Selected(const std::string& pattern, bool& known);
  // 0 with the entry handed out, else the error the call answers.
  std::uint32_t Serve(TWalk& walk, TUrlCacheEntryInfo* entry, std::uint32_t& size);
  // The first container (in walk order) that holds url, and the record's index there.
  TContainer* Find(const std::string& url, std::uint32_t& record);
  // Writes every changed container; 0 or the first failure.
  std::uint32_t WriteChanges();
  // Forgets what was read once no walk and no probe needs it.
  void ReleaseWhenIdle();
  template <class T> T Fail(T result, std::uint32_t code) {
    lastError_->Set(code);
    return result;
  }

  TImageFileSystem& files_;
  TAccountService& accounts_;
  std::shared_ptr<TLastError> lastError_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<TContainer>> containers_; // empty while nothing holds them
  std::map<THandleValue, std::unique_ptr<TWalk>> walks_;
  // The walk that a FindFirst size probe began, taken over by the FindFirst that follows it.
  std::unique_ptr<TWalk> probe_;
  THandleValue nextHandle_ = 1;
};

} // namespace quillon::winapi::image
