#pragma once
// A small Windows image for tests of the text stores: one profile folder "C:\Profile", served by
// the image backend, whose writes, renames and copies can be made to fail for chosen paths (a
// full disk, a file held open by the browser) to check that a store survives and the failure is
// reported.

#include "kit/TempDir.h"
#include "winapi/image/ImageWinApi.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace quillon::test {

// The image backend with injectable faults. A failing write stores half of its data first, as a
// disk that fills up does.
class TFaultyDiskWinApi : public winapi::image::TImageWinApi {
public:
  using TImageWinApi::TImageWinApi;
  using TPathRule = std::function<bool(const std::string& path)>;

  TPathRule FailWrite;
  TPathRule FailMove;   // by the target path (also of a replace)
  TPathRule FailCopy;   // by the target path
  TPathRule FailDelete; // as Windows answers for a file the browser holds open
  TPathRule FailRead;   // likewise

  bool ReadWholeFile(const std::string& path, std::string& data) override {
    if (FailRead && FailRead(path)) {
      winapi::SetLastError(winapi::ERROR_SHARING_VIOLATION);
      return false;
    }
    return TImageWinApi::ReadWholeFile(path, data);
  }
  bool WriteWholeFile(const std::string& path, std::string_view data,
                      winapi::DWORD creationDisposition) override {
    if (FailWrite && FailWrite(path)) {
      TImageWinApi::WriteWholeFile(path, data.substr(0, data.size() / 2), creationDisposition);
      winapi::SetLastError(winapi::ERROR_DISK_FULL);
      return false;
    }
    return TImageWinApi::WriteWholeFile(path, data, creationDisposition);
  }
  winapi::BOOL ReplaceFile(const std::string& replaced, const std::string& replacement) override {
    if (FailMove && FailMove(replaced)) {
      winapi::SetLastError(winapi::ERROR_SHARING_VIOLATION);
      return false;
    }
    return TImageWinApi::ReplaceFile(replaced, replacement);
  }
  winapi::BOOL MoveFileEx(const std::string& existing, const std::string& newName,
                          winapi::DWORD flags) override {
    if (FailMove && FailMove(newName)) {
      winapi::SetLastError(winapi::ERROR_SHARING_VIOLATION);
      return false;
    }
    return TImageWinApi::MoveFileEx(existing, newName, flags);
  }
  winapi::BOOL DeleteFile(const std::string& path) override {
    if (FailDelete && FailDelete(path)) {
      winapi::SetLastError(winapi::ERROR_SHARING_VIOLATION);
      return false;
    }
    return TImageWinApi::DeleteFile(path);
  }
  winapi::BOOL CopyFile(const std::string& existing, const std::string& newName,
                        winapi::BOOL failIfExists) override {
    if (FailCopy && FailCopy(newName)) {
      winapi::SetLastError(winapi::ERROR_DISK_FULL);
      return false;
    }
    return TImageWinApi::CopyFile(existing, newName, failIfExists);
  }
};

inline TFaultyDiskWinApi::TPathRule Always() {
  return [](const std::string&) { return true; };
}

class TTextStoreImage {
public:
  TTextStoreImage() {
    std::filesystem::create_directories(dir_.Path() + "/c/Profile");
    winapi::image::TImageConfig config;
    config.imageRoot = dir_.Path() + "/c";
    api_ = std::make_shared<TFaultyDiskWinApi>(config);
    scope_ = std::make_unique<winapi::TWinApiScope>(api_);
  }

  TFaultyDiskWinApi& Api() { return *api_; }

  // The Windows path of a file in the profile folder.
  static std::string Path(const std::string& name) { return "C:\\Profile\\" + name; }

  // Writes a file of the profile folder straight on the host; answers its Windows path.
  std::string Put(const std::string& name, const std::string& content) const {
    std::ofstream(Host(name), std::ios::binary) << content;
    return Path(name);
  }
  // A file's bytes as they lie on the host; nullopt when it is absent.
  std::optional<std::string> Read(const std::string& name) const {
    std::ifstream in(Host(name), std::ios::binary);
    if (!in)
      return std::nullopt;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // The names in the profile folder, sorted.
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_.Path() + "/c/Profile"))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

private:
  std::string Host(const std::string& name) const { return dir_.Path() + "/c/Profile/" + name; }

  kit::TTempDir dir_;
  std::shared_ptr<TFaultyDiskWinApi> api_;
  std::unique_ptr<winapi::TWinApiScope> scope_;
};

} // namespace quillon::test
