#include "winapi/image/ImageWinApi.h"

#include "winapi/image/ImageAccounts.h"
#include "winapi/image/ImageFileSystem.h"
#include "winapi/image/ImageRegistry.h"
#include "winapi/image/ImageTimeLocale.h"
#include "winapi/image/ImageUrlCache.h"

namespace quillon::winapi::image {

namespace {

// The services of one image in one allocation: the registry, the accounts and the URL cache read
// the image through its file system, so each service handed out keeps all of them alive.
struct TImageServices {
  TImageServices(const TImageConfig& config, const std::shared_ptr<TLastError>& lastError)
      : files(config, lastError), registry(files, config),
        accounts(files, registry, config, lastError), urlCache(files, accounts, lastError),
        timeLocale(lastError) {}
  TImageFileSystem files;
  TImageRegistry registry;
  TImageAccounts accounts;
  TImageUrlCache urlCache;
  TImageTimeLocale timeLocale;
};

} // namespace

TImageWinApi::TImageWinApi(const TImageConfig& config) {
  const auto all = std::make_shared<TImageServices>(config, lastError);
  files = std::shared_ptr<TFileService>(all, &all->files);
  imageRegistry_ = std::shared_ptr<TImageRegistry>(all, &all->registry);
  registry = imageRegistry_;
  accounts = std::shared_ptr<TAccountService>(all, &all->accounts);
  urlCache = std::shared_ptr<TUrlCacheService>(all, &all->urlCache);
  timeLocale = std::shared_ptr<TTimeLocaleService>(all, &all->timeLocale);
}

} // namespace quillon::winapi::image
