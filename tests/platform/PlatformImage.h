#pragma once
// A Windows system image built for a test and installed as the process's Windows for the life of
// the fixture.

#include "kit/ImageBuilder.h"
#include "kit/TempDir.h"
#include "platform/RegistrySpy.h"
#include "winapi/image/ImageFileSystem.h"
#include "winapi/image/ImageWinApi.h"

#include <memory>
#include <string>
#include <vector>

namespace quillon::test {

inline const std::string kImageAliceSid = "S-1-5-21-1111111111-2222222222-3333333333-1001";
inline const std::string kImageBobSid = "S-1-5-21-1111111111-2222222222-3333333333-1002";

// The image's file service, recording the masks it lists and the find handles left open.
class TFindSpy final : public winapi::image::TImageFileSystem {
public:
  using TImageFileSystem::TImageFileSystem;
  std::vector<std::string> FindMasks;
  std::size_t OpenFindHandles() const { return open_; }

  winapi::THandleValue FindFirst(const std::string& mask, winapi::TFindData& data) override {
    FindMasks.push_back(mask);
    const winapi::THandleValue find = TImageFileSystem::FindFirst(mask, data);
    open_ += find != winapi::kInvalidHandle;
    return find;
  }
  bool FindEnd(winapi::THandleValue find) override {
    const bool closed = TImageFileSystem::FindEnd(find);
    open_ -= closed;
    return closed;
  }

private:
  std::size_t open_ = 0;
};

// An image with the users alice (the session's user) and bob. Fill `builder`, then Install().
class TPlatformImage {
public:
  explicit TPlatformImage(bool is64 = true)
      : builder(std::make_unique<kit::TImageBuilder>(dir.Path() + "/c", is64)) {
    builder->AddUser("alice", kImageAliceSid);
    builder->AddUser("bob", kImageBobSid);
  }

  // Writes the hives and makes the image the process's Windows.
  void Install() {
    builder->Commit();
    Reopen();
  }
  // A fresh backend over the image as it lies on disk.
  void Reopen() {
    scope.reset();
    config.imageRoot = dir.Path() + "/c";
    config.user = "alice";
    backend = std::make_shared<winapi::image::TImageWinApi>(config);
    scope = std::make_unique<winapi::TWinApiScope>(backend);
  }
  // Watches the installed backend's finds from now on.
  TFindSpy& SpyOnFinds() {
    auto spy = std::make_shared<TFindSpy>(config, backend->lastError);
    backend->files = spy;
    return *spy;
  }
  // Watches the installed backend's registry from now on.
  TRegistrySpy& SpyOnRegistry() {
    auto spy = std::make_shared<TRegistrySpy>(backend->registry);
    backend->registry = spy;
    return *spy;
  }

  kit::TTempDir dir;
  winapi::image::TImageConfig config;
  std::unique_ptr<kit::TImageBuilder> builder;
  std::shared_ptr<winapi::image::TImageWinApi> backend;
  std::unique_ptr<winapi::TWinApiScope> scope;
};

} // namespace quillon::test
