#pragma once
// Watches the calls made to a real registry service (the image's): which keys were opened with
// which access mask, which handles are still open. As Windows does, it refuses what the rights
// given to a key (and every key below it) or the access a handle was opened with do not allow,
// which an image's hive files cannot express. It has no keys of its own.

#include "winapi/CaseFold.h"
#include "winapi/WinApi.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace quillon::test {

class TRegistrySpy final : public winapi::TRegistryService {
public:
  explicit TRegistrySpy(std::shared_ptr<winapi::TRegistryService> inner)
      : inner_(std::move(inner)) {}

  struct TOpen {
    std::string Path; // as asked for, case folded: "HKCU\SOFTWARE\A"
    winapi::REGSAM Mask;
    winapi::LONG Result;
  };
  std::vector<TOpen> Opens;

  // The key at path ("HKCU\Software\A") and everything below it allow only these rights.
  void Grant(const std::string& path, winapi::REGSAM rights) { granted_[Fold(path)] = rights; }
  // Reads that ask for the value's data see it this many times, then it is gone.
  void VanishAfterDataReads(const std::string& path, const std::string& name, int reads) {
    dataReadsLeft_[Fold(path) + "|" + Fold(name)] = reads;
  }
  std::size_t OpenKeyHandles() const { return handles_.size(); }

  std::int32_t Open(winapi::TKeyValue key, const std::string& subKey, std::uint32_t options,
                    std::uint32_t access, winapi::TKeyValue& result) override {
    const std::string path = Join(key, subKey);
    winapi::LONG rc = Allowed(path, access) ? inner_->Open(key, subKey, options, access, result)
                                            : winapi::ERROR_ACCESS_DENIED;
    Record(path, access, rc, result);
    return rc;
  }
  std::int32_t Create(winapi::TKeyValue key, const std::string& subKey, std::uint32_t access,
                      winapi::TKeyValue& result, std::uint32_t* disposition) override {
    const std::string path = Join(key, subKey);
    winapi::LONG rc = Allowed(path, access | winapi::KEY_CREATE_SUB_KEY)
                          ? inner_->Create(key, subKey, access, result, disposition)
                          : winapi::ERROR_ACCESS_DENIED;
    Record(path, access, rc, result);
    return rc;
  }
  std::int32_t Close(winapi::TKeyValue key) override {
    handles_.erase(key);
    return inner_->Close(key);
  }
  std::int32_t QueryValue(winapi::TKeyValue key, const std::string& name, std::uint32_t* type,
                          std::string* data) override {
    if (!HandleAllows(key, winapi::KEY_QUERY_VALUE))
      return winapi::ERROR_ACCESS_DENIED;
    if (data != nullptr) {
      const auto left = dataReadsLeft_.find(PathOf(key) + "|" + Fold(name));
      if (left != dataReadsLeft_.end() && left->second-- <= 0)
        return winapi::ERROR_FILE_NOT_FOUND;
    }
    return inner_->QueryValue(key, name, type, data);
  }
  std::int32_t SetValue(winapi::TKeyValue key, const std::string& name, std::uint32_t type,
                        std::string_view data) override {
    if (!HandleAllows(key, winapi::KEY_SET_VALUE))
      return winapi::ERROR_ACCESS_DENIED;
    return inner_->SetValue(key, name, type, data);
  }
  std::int32_t DeleteValue(winapi::TKeyValue key, const std::string& name) override {
    if (!HandleAllows(key, winapi::KEY_SET_VALUE))
      return winapi::ERROR_ACCESS_DENIED;
    return inner_->DeleteValue(key, name);
  }
  std::int32_t DeleteKey(winapi::TKeyValue key, const std::string& subKey) override {
    return inner_->DeleteKey(key, subKey);
  }
  std::int32_t EnumKey(winapi::TKeyValue key, std::uint32_t index, std::string& name) override {
    if (!HandleAllows(key, winapi::KEY_ENUMERATE_SUB_KEYS))
      return winapi::ERROR_ACCESS_DENIED;
    return inner_->EnumKey(key, index, name);
  }
  std::int32_t EnumValue(winapi::TKeyValue key, std::uint32_t index, std::string& name) override {
    if (!HandleAllows(key, winapi::KEY_QUERY_VALUE))
      return winapi::ERROR_ACCESS_DENIED;
    return inner_->EnumValue(key, index, name);
  }

private:
  struct THandle {
    std::string path;
    winapi::REGSAM access = 0;
  };
  static constexpr winapi::REGSAM kViewFlags = winapi::KEY_WOW64_32KEY | winapi::KEY_WOW64_64KEY;

  static std::string Fold(const std::string& text) { return winapi::FoldedName(text); }
  std::string PathOf(winapi::TKeyValue key) const {
    switch (key) {
    case winapi::HKEY_CLASSES_ROOT:
      return "HKCR";
    case winapi::HKEY_CURRENT_USER:
      return "HKCU";
    case winapi::HKEY_LOCAL_MACHINE:
      return "HKLM";
    case winapi::HKEY_USERS:
      return "HKU";
    default:
      break;
    }
    const auto it = handles_.find(key);
    return it == handles_.end() ? "?" : it->second.path;
  }
  std::string Join(winapi::TKeyValue key, const std::string& subKey) const {
    std::string path = PathOf(key);
    for (std::size_t start = 0; start <= subKey.size();) {
      const std::size_t end = std::min(subKey.find('\\', start), subKey.size());
      if (end > start)
        path += "\\" + subKey.substr(start, end - start);
      start = end + 1;
    }
    return Fold(path);
  }
  // Whether the rights of the key, or of the nearest key above it that has some, allow access.
  bool Allowed(const std::string& path, winapi::REGSAM access) const {
    for (std::string p = path;;) {
      if (const auto it = granted_.find(p); it != granted_.end())
        return ((access & ~kViewFlags) & ~it->second) == 0;
      const std::size_t slash = p.rfind('\\');
      if (slash == std::string::npos)
        return true;
      p.resize(slash);
    }
  }
  bool HandleAllows(winapi::TKeyValue key, winapi::REGSAM right) const {
    const auto it = handles_.find(key);
    return it == handles_.end() || (it->second.access & right) != 0; // roots allow everything
  }
  void Record(const std::string& path, winapi::REGSAM access, winapi::LONG rc,
              winapi::TKeyValue result) {
    Opens.push_back({path, access, rc});
    if (rc == winapi::ERROR_SUCCESS)
      handles_[result] = {path, access};
  }

  std::shared_ptr<winapi::TRegistryService> inner_;
  std::map<std::string, winapi::REGSAM> granted_;
  std::map<std::string, int> dataReadsLeft_;
  std::map<winapi::TKeyValue, THandle> handles_;
};

} // namespace quillon::test
