// The native backend: every service served by the running system. Unlike the image backend's,
// the services share nothing but the system itself, so each stands alone.

#include "winapi/native/NativeBackend.h"

namespace quillon::winapi::native {

std::shared_ptr<TWinApi> NativeWinApi() {
  auto api = std::make_shared<TWinApi>();
  // The system keeps the last error per thread; every native service sets it there.
  api->lastError = NativeLastError();
  api->files = NativeFiles();
  api->registry = NativeRegistry();
  api->accounts = NativeAccounts();
  api->urlCache = NativeUrlCache();
  api->timeLocale = NativeTimeLocale();
  return api;
}

} // namespace quillon::winapi::native
