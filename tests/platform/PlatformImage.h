#pragma once
// A Windows system image built for a test and installed as the process's Windows for the life of
// the fixture.

#include "kit/ImageBuilder.h"
#include "kit/TempDir.h"
#include "winapi/image/ImageWinApi.h"

#include <memory>
#include <string>

namespace quillon::test {

inline const std::string kImageAliceSid = "S-1-5-21-1111111111-2222222222-3333333333-1001";
inline const std::string kImageBobSid = "S-1-5-21-1111111111-2222222222-3333333333-1002";

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
    winapi::image::TImageConfig config;
    config.imageRoot = dir.Path() + "/c";
    config.user = "alice";
    scope = std::make_unique<winapi::TWinApiScope>(
        std::make_shared<winapi::image::TImageWinApi>(config));
  }

  kit::TTempDir dir;
  std::unique_ptr<kit::TImageBuilder> builder;
  std::unique_ptr<winapi::TWinApiScope> scope;
};

} // namespace quillon::test
