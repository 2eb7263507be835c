#pragma once
// A Windows-system backend for reader tests: it serves files from memory and knows nothing else.
// Install it for a scope with TWinApiScope.

#include "winapi/WinApi.h"

#include <map>
#include <string>
#include <string_view>
#include <utility>

namespace quillon::test {

using namespace quillon::winapi;

class TMapFileApi : public TNullWinApi {
public:
  // Paths compare as Windows compares them, without regard to case.
  void Add(const std::string& path, std::string content) { files_[Key(path)] = std::move(content); }
  // A file that exists but cannot be read (held open exclusively by another program).
  void Lock(const std::string& path, DWORD error) { locked_[Key(path)] = error; }

  DWORD GetFileAttributes(const std::string& path) override {
    if (Find(path) != nullptr || locked_.contains(Key(path)))
      return FILE_ATTRIBUTE_ARCHIVE;
    return Fail(INVALID_FILE_ATTRIBUTES);
  }
  bool ReadWholeFile(const std::string& path, std::string& data) override {
    if (const auto it = locked_.find(Key(path)); it != locked_.end())
      return Fail(false, it->second);
    const std::string* content = Find(path);
    if (content == nullptr)
      return Fail(false);
    data = *content;
    return true;
  }
  // Writes, renames and deletes change the map, so that a cleaner's rewrite can be read back.
  bool WriteWholeFile(const std::string& path, std::string_view data,
                      DWORD creationDisposition) override {
    if (creationDisposition == CREATE_NEW && Find(path) != nullptr)
      return Fail(false, ERROR_FILE_EXISTS);
    files_[Key(path)] = std::string(data);
    return true;
  }
  BOOL ReplaceFile(const std::string& replaced, const std::string& replacement) override {
    if (Find(replaced) == nullptr)
      return Fail(false);
    return MoveFileEx(replacement, replaced, MOVEFILE_REPLACE_EXISTING);
  }
  BOOL MoveFileEx(const std::string& existing, const std::string& newName, DWORD) override {
    const auto it = files_.find(Key(existing));
    if (it == files_.end())
      return Fail(false);
    std::string content = std::move(it->second);
    files_.erase(it);
    files_[Key(newName)] = std::move(content);
    return true;
  }
  BOOL CopyFile(const std::string& existing, const std::string& newName, BOOL) override {
    const std::string* content = Find(existing);
    if (content == nullptr)
      return Fail(false);
    files_[Key(newName)] = *content;
    return true;
  }
  BOOL DeleteFile(const std::string& path) override {
    return files_.erase(Key(path)) > 0 ? true : Fail(false);
  }
  // The content of a file; null when there is none.
  const std::string* Content(const std::string& path) const { return Find(path); }

private:
  std::map<std::string, std::string> files_;
  std::map<std::string, DWORD> locked_;

  static std::string Key(std::string path) {
    for (char& c : path) {
      if (c >= 'a' && c <= 'z')
        c = static_cast<char>(c - 32);
    }
    return path;
  }
  const std::string* Find(const std::string& path) const {
    const auto it = files_.find(Key(path));
    return it == files_.end() ? nullptr : &it->second;
  }
  template <class T> static T Fail(T result, DWORD code = ERROR_FILE_NOT_FOUND) {
    SetLastError(code);
    return result;
  }
};

} // namespace quillon::test
