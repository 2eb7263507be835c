#pragma once
// Helpers for the registry and account tests: a built image in a temporary folder and short
// forms of the registry calls against one image backend.

#include "kit/ImageBuilder.h"
#include "kit/TempDir.h"
#include "winapi/image/ImageWinApi.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace quillon::test {

using namespace quillon::winapi;

inline const std::string kMachine = "S-1-5-21-1111111111-2222222222-3333333333";
inline const std::string kAliceSid = kMachine + "-1001";
inline const std::string kBobSid = kMachine + "-1002";

inline std::string ReadHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void CopyHostFile(const std::string& from, const std::string& to) {
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(to, std::filesystem::perms::owner_read |
                                       std::filesystem::perms::owner_write);
}

// An image with the users alice and bob (64-bit unless told otherwise).
class TTestImage {
public:
  explicit TTestImage(bool is64 = true)
      : builder(std::make_unique<kit::TImageBuilder>(dir.Path() + "/c", is64)) {
    builder->AddUser("alice", kAliceSid);
    builder->AddUser("bob", kBobSid);
  }

  std::unique_ptr<image::TImageWinApi> Open(const std::string& user = {}) const {
    image::TImageConfig config;
    config.imageRoot = dir.Path() + "/c";
    config.user = user;
    return std::make_unique<image::TImageWinApi>(config);
  }
  std::string Host(const std::string& windowsPath) const {
    return builder->HostPathOf(windowsPath);
  }

  kit::TTempDir dir;
  std::unique_ptr<kit::TImageBuilder> builder;
};

// The value's data as RegQueryValueEx returns it, or "<error N>".
inline std::string Query(TWinApi& api, HKEY root, const std::string& path, const std::string& name,
                         REGSAM sam = KEY_READ, DWORD* type = nullptr) {
  HKEY key = 0;
  LONG r = api.registry->Open(root, path, 0, sam, key);
  if (r != ERROR_SUCCESS)
    return "<error " + std::to_string(r) + ">";
  std::string data;
  r = api.registry->QueryValue(key, name, type, &data);
  api.registry->Close(key);
  return r == ERROR_SUCCESS ? data : "<error " + std::to_string(r) + ">";
}

// A string value without its terminator.
inline std::string QueryString(TWinApi& api, HKEY root, const std::string& path,
                               const std::string& name, REGSAM sam = KEY_READ) {
  const std::string data = Query(api, root, path, name, sam);
  return data.substr(0, data.find('\0'));
}

inline std::vector<std::string> SubKeys(TWinApi& api, HKEY root, const std::string& path,
                                        REGSAM sam = KEY_READ) {
  std::vector<std::string> names;
  HKEY key = 0;
  if (api.registry->Open(root, path, 0, sam, key) != ERROR_SUCCESS)
    return {"<not found>"};
  std::string name;
  for (DWORD i = 0; api.registry->EnumKey(key, i, name) == ERROR_SUCCESS; ++i)
    names.push_back(name);
  api.registry->Close(key);
  return names;
}

inline std::vector<std::string> ValueNames(TWinApi& api, HKEY root, const std::string& path) {
  std::vector<std::string> names;
  HKEY key = 0;
  if (api.registry->Open(root, path, 0, KEY_READ, key) != ERROR_SUCCESS)
    return {"<not found>"};
  std::string name;
  for (DWORD i = 0; api.registry->EnumValue(key, i, name) == ERROR_SUCCESS; ++i)
    names.push_back(name);
  api.registry->Close(key);
  return names;
}

inline bool KeyExists(TWinApi& api, HKEY root, const std::string& path, REGSAM sam = KEY_READ) {
  HKEY key = 0;
  if (api.registry->Open(root, path, 0, sam, key) != ERROR_SUCCESS)
    return false;
  api.registry->Close(key);
  return true;
}

// Runs a command and returns its standard output; empty when the tool is missing.
inline std::string RunTool(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe)
    return out;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0)
    out.append(buf, n);
  ::pclose(pipe);
  return out;
}

inline bool ToolAvailable(const std::string& name) {
  return !RunTool("command -v " + name).empty();
}

} // namespace quillon::test
