#pragma once
// A small Windows image for tests of the text stores: one profile folder "C:\Profile", served by
// the image backend, whose writes, renames and copies can be made to fail for chosen paths (a
// full disk, a file held open by the browser) to check that a store survives and the failure is
// reported.

#include "kit/TempDir.h"
#include "winapi/image/ImageFileSystem.h"
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

// The image's file service with injectable faults. A failing write stores half of its data first,
// as a disk that fills up does.
class TFaultyDisk final : public winapi::image::TImageFileSystem {
public:
  using TImageFileSystem::TImageFileSystem;
  using TPathRule = std::function<bool(const std::string& path)>;

  TPathRule FailWrite;
  TPathRule FailMove;   // by the target path (also of a replace)
  TPathRule FailCopy;   // by the target path
  TPathRule FailDelete; // as Windows answers for a file the browser holds open
  TPathRule FailRead;   // likewise

  bool ReadWhole(const std::string& path, std::string& data) override {
    if (FailRead && FailRead(path))
      return Fail(winapi::ERROR_SHARING_VIOLATION);
    return TImageFileSystem::ReadWhole(path, data);
  }
  bool WriteWhole(const std::string& path, std::string_view data,
                  std::uint32_t creationDisposition) override {
    if (FailWrite && FailWrite(path)) {
      TImageFileSystem::WriteWhole(path, data.substr(0, data.size() / 2), creationDisposition);
      return Fail(winapi::ERROR_DISK_FULL);
    }
    return TImageFileSystem::WriteWhole(path, data, creationDisposition);
  }
  bool Replace(const std::string& replaced, const std::string& replacement) override {
    if (FailMove && FailMove(replaced))
      return Fail(winapi::ERROR_SHARING_VIOLATION);
    return TImageFileSystem::Replace(replaced, replacement);
  }
  bool Move(const std::string& existing, const std::string& newName, std::uint32_t flags) override {
    if (FailMove && FailMove(newName))
      return Fail(winapi::ERROR_SHARING_VIOLATION);
    return TImageFileSystem::Move(existing, newName, flags);
  }
  bool Delete(const std::string& path) override {
    if (FailDelete && FailDelete(path))
      return Fail(winapi::ERROR_SHARING_VIOLATION);
    return TImageFileSystem::Delete(path);
  }
  bool Copy(const std::string& existing, const std::string& newName, bool failIfExists) override {
    if (FailCopy && FailCopy(newName))
      return Fail(winapi::ERROR_DISK_FULL);
    return TImageFileSystem::Copy(existing, newName, failIfExists);
  }

private:
  static bool Fail(winapi::DWORD code) {
    winapi::SetLastError(code); // the installed backend's, which this service belongs to
    return false;
  }
};

inline TFaultyDisk::TPathRule Always() {
  return [](const std::string&) { return true; };
}

class TTextStoreImage {
public:
  TTextStoreImage() {
    std::filesystem::create_directories(dir_.Path() + "/c/Profile");
    winapi::image::TImageConfig config;
    config.imageRoot = dir_.Path() + "/c";
    auto backend = std::make_shared<winapi::image::TImageWinApi>(config);
    disk_ = std::make_shared<TFaultyDisk>(config, backend->lastError);
    backend->files = disk_;
    scope_ = std::make_unique<winapi::TWinApiScope>(backend);
  }

  // The file service, whose faults a test sets.
  TFaultyDisk& Api() { return *disk_; }

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
  std::shared_ptr<TFaultyDisk> disk_;
  std::unique_ptr<winapi::TWinApiScope> scope_;
};

} // namespace quillon::test
