#pragma once
// A small Windows image for discovery tests: built with the image kit, then installed as the
// process-wide backend together with the process set-up, as a front end does before it creates
// the browser manager.

#include "discovery/BrowserManager.h"
#include "discovery/ProcessSetup.h"
#include "kit/ImageBuilder.h"
#include "kit/TempDir.h"
#include "winapi/WinApi.h"
#include "winapi/image/ImageWinApi.h"

#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace quillon::test {

inline constexpr const char* kAliceSid = "S-1-5-21-1111111111-2222222222-3333333333-1001";
inline constexpr const char* kBobSid = "S-1-5-21-1111111111-2222222222-3333333333-1002";

class TDiscoveryImage {
public:
  TDiscoveryImage() : image_(dir_.Path()) {}

  kit::TImageBuilder& Image() { return image_; }

  // Writes the hives and makes the image the running system, seen as user, running the program
  // at the Windows path executable (empty: the test program's own place on the host).
  void Open(const std::string& user, const std::string& executable = {}) {
    image_.Commit();
    winapi::image::TImageConfig config;
    config.imageRoot = dir_.Path();
    config.user = user;
    if (!executable.empty())
      config.executablePath = image_.HostPathOf(executable);
    backend_ = std::make_shared<winapi::image::TImageWinApi>(config);
    scope_ = std::make_unique<winapi::TWinApiScope>(backend_);
    setup_ = std::make_unique<TProcessSetup>();
  }
  // The running system after Open, to put a test double in place of one of its services.
  winapi::image::TImageWinApi& Backend() { return *backend_; }

private:
  kit::TTempDir dir_;
  kit::TImageBuilder image_;
  std::shared_ptr<winapi::image::TImageWinApi> backend_;
  std::unique_ptr<winapi::TWinApiScope> scope_;
  std::unique_ptr<TProcessSetup> setup_; // dies before the backend it was built from
};

// The log with its timing lines checked and replaced by "i TIME", so tests compare whole logs.
inline std::vector<std::string> LogWithoutTimes(const TBrowserManager& manager) {
  static const std::regex timing(R"(i Browser detection took \d\d\.\d\d\d seconds\.)");
  std::vector<std::string> lines = manager.DetectionLog();
  for (std::string& line : lines)
    if (std::regex_match(line, timing))
      line = "i TIME";
  return lines;
}

} // namespace quillon::test
