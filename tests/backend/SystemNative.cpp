// The system under test on Windows: the running system and its user, through the native backend.

#include "backend/SystemBackend.h"
#include "discovery/ProcessSetup.h"
#include "winapi/WinApi.h"
#include "winapi/native/NativeBackend.h"

namespace quillon::test {

namespace {

class TNativeSystem final : public TSystemBackend {
public:
  TNativeSystem()
      : scope_(winapi::native::NativeWinApi()), setup_(std::make_unique<TProcessSetup>()) {}

  void AddUrlCacheEntries(const std::vector<TUrlCacheSeed>& seeds) override {
    CommitUrlCacheEntries(seeds);
  }
  bool IsWine() const override { return RunsOnWine(); }

private:
  winapi::TWinApiScope scope_;
  std::unique_ptr<TProcessSetup> setup_;
};

} // namespace

std::unique_ptr<TSystemBackend> MakeSystemBackend() {
  return std::make_unique<TNativeSystem>();
}

} // namespace quillon::test
