#pragma once
// The in-memory file double: a file service over a map from Windows paths to contents, for the
// reader tests and fuzz targets that need no folders on disk. Paths compare as Windows compares
// names. Writes, renames, copies and deletes change the map, so a cleaner's rewrite reads back.
// TMemoryFiles installs it as the process's Windows (a backend with this one service) for a scope.

#include "winapi/CaseFold.h"
#include "winapi/WinApi.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace quillon::test {

class TMemoryFileService final : public winapi::TFileService {
public:
  explicit TMemoryFileService(std::shared_ptr<winapi::TLastError> lastError)
      : lastError_(std::move(lastError)) {}

  void Add(const std::string& path, std::string content) { files_[Key(path)] = std::move(content); }
  // A file that exists but cannot be read (held open exclusively, or access denied).
  void Lock(const std::string& path, winapi::DWORD error) { locked_[Key(path)] = error; }
  // The content of a file; null when there is none.
  const std::string* Content(const std::string& path) const {
    const auto it = files_.find(Key(path));
    return it == files_.end() ? nullptr : &it->second;
  }
  std::string moduleFileName; // what GetModuleFileName answers

  std::uint32_t Attributes(const std::string& path) override {
    if (Content(path) != nullptr || locked_.contains(Key(path)))
      return winapi::FILE_ATTRIBUTE_ARCHIVE;
    return Fail(winapi::INVALID_FILE_ATTRIBUTES);
  }
  bool ReadWhole(const std::string& path, std::string& data) override {
    if (const auto it = locked_.find(Key(path)); it != locked_.end())
      return Fail(false, it->second);
    const std::string* content = Content(path);
    if (content == nullptr)
      return Fail(false);
    data = *content;
    return true;
  }
  bool WriteWhole(const std::string& path, std::string_view data,
                  std::uint32_t creationDisposition) override {
    if (creationDisposition == winapi::CREATE_NEW && Content(path) != nullptr)
      return Fail(false, winapi::ERROR_FILE_EXISTS);
    files_[Key(path)] = std::string(data);
    return true;
  }
  bool Replace(const std::string& replaced, const std::string& replacement) override {
    if (Content(replaced) == nullptr)
      return Fail(false);
    return Move(replacement, replaced, winapi::MOVEFILE_REPLACE_EXISTING);
  }
  bool Move(const std::string& existing, const std::string& newName, std::uint32_t) override {
    const auto it = files_.find(Key(existing));
    if (it == files_.end())
      return Fail(false);
    std::string content = std::move(it->second);
    files_.erase(it);
    files_[Key(newName)] = std::move(content);
    return true;
  }
  bool Copy(const std::string& existing, const std::string& newName, bool) override {
    const std::string* content = Content(existing);
    if (content == nullptr)
      return Fail(false);
    files_[Key(newName)] = *content;
    return true;
  }
  bool Delete(const std::string& path) override {
    return files_.erase(Key(path)) > 0 ? true : Fail(false);
  }
  std::string ModuleFileName() override { return moduleFileName; }
  std::uint32_t DriveType(const std::string&) override { return winapi::DRIVE_FIXED; }

  // No folders: nothing to list, create or remove; no host behind the paths.
  winapi::THandleValue FindFirst(const std::string&, winapi::TFindData&) override {
    return Fail(winapi::INVALID_HANDLE_VALUE);
  }
  bool FindNext(winapi::THandleValue, winapi::TFindData&) override {
    return Fail(false, winapi::ERROR_INVALID_HANDLE);
  }
  bool FindEnd(winapi::THandleValue) override { return Fail(false, winapi::ERROR_INVALID_HANDLE); }
  bool MakeFolder(const std::string&) override { return Fail(false, winapi::ERROR_ACCESS_DENIED); }
  bool RemoveFolder(const std::string&) override { return Fail(false); }
  bool SetAttributes(const std::string& path, std::uint32_t) override {
    return Content(path) != nullptr ? true : Fail(false);
  }
  std::string HostPath(const std::string&) override { return {}; }
  std::string WindowsPathFromHost(const std::string&) override { return {}; }

private:
  static std::string Key(const std::string& path) { return winapi::FoldedName(path); }
  template <class T> T Fail(T result, winapi::DWORD code = winapi::ERROR_FILE_NOT_FOUND) {
    lastError_->Set(code);
    return result;
  }

  std::shared_ptr<winapi::TLastError> lastError_;
  std::map<std::string, std::string> files_;
  std::map<std::string, winapi::DWORD> locked_;
};

// Installs a backend that has the in-memory files and no other service.
class TMemoryFiles {
public:
  TMemoryFiles()
      : backend_(std::make_shared<winapi::TWinApi>()),
        files_(std::make_shared<TMemoryFileService>(backend_->lastError)),
        scope_((backend_->files = files_, backend_)) {}

  TMemoryFileService& operator*() const { return *files_; }
  TMemoryFileService* operator->() const { return files_.get(); }

private:
  std::shared_ptr<winapi::TWinApi> backend_;
  std::shared_ptr<TMemoryFileService> files_;
  winapi::TWinApiScope scope_;
};

} // namespace quillon::test
