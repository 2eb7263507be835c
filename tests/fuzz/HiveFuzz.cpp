// Registry hives of a system image: the input is written as the image's SOFTWARE hive, checked as
// the image registry checks a hive before it mounts it, and, when it passes, walked through the
// registry functions (every key, value name and value), as discovery reads a hive.
//
// The hive library itself is not ours: a crash inside it on a file that our check accepted is a
// finding to report with its input, not a fault of the check.

#include "winapi/image/Hive.h"
#include "winapi/image/ImageRegistry.h"
#include "winapi/image/ImageWinApi.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace quillon::winapi;
using namespace quillon::winapi::image;

namespace {

// One image folder for the whole run, removed at exit.
class TFuzzImage {
public:
  TFuzzImage() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillon-hive-fuzz-XXXXXX");
    if (::mkdtemp(pattern.data()) == nullptr)
      std::abort();
    root_ = pattern;
    std::filesystem::create_directories(root_ + "/c/Windows/System32/config");
    hive_ = root_ + "/c/Windows/System32/config/SOFTWARE";
  }
  ~TFuzzImage() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  const std::string& Root() const { return root_; }
  const std::string& Hive() const { return hive_; }

private:
  std::string root_;
  std::string hive_;
};

void WriteHostFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out)
    std::abort();
}

// Every key below HKLM\SOFTWARE, breadth first, without recursion; bounded so that one input's
// run stays short.
void WalkRegistry(TImageWinApi& api) {
  constexpr std::size_t kMaxKeys = 2000;
  constexpr DWORD kMaxItemsPerKey = 500;
  std::vector<std::string> pending{"SOFTWARE"};
  std::size_t visited = 0;
  while (!pending.empty() && visited < kMaxKeys) {
    const std::string path = std::move(pending.back());
    pending.pop_back();
    ++visited;
    HKEY key = 0;
    if (api.registry->Open(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, key) != ERROR_SUCCESS)
      continue;
    std::string name;
    for (DWORD i = 0; i < kMaxItemsPerKey && api.registry->EnumKey(key, i, name) == ERROR_SUCCESS;
         ++i)
      pending.push_back(path + "\\" + name);
    for (DWORD i = 0; i < kMaxItemsPerKey && api.registry->EnumValue(key, i, name) == ERROR_SUCCESS;
         ++i) {
      DWORD type = 0;
      std::string value;
      api.registry->QueryValue(key, name, &type, &value);
    }
    api.registry->Close(key);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const TFuzzImage image;
  WriteHostFile(image.Hive(), data, size);

  // The check on its own, as the image registry makes it.
  bool sound = false;
  if (const THiveHandle hive = OpenHive(image.Hive(), false))
    sound = HiveTreeIsSound(hive.get());

  TImageConfig config;
  config.imageRoot = image.Root() + "/c";
  TImageWinApi api(config);
  HKEY key = 0;
  const LONG opened = api.registry->Open(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, key);
  if (opened == ERROR_SUCCESS)
    api.registry->Close(key);
  // A hive the check refuses is never mounted.
  if (!sound && opened == ERROR_SUCCESS)
    std::abort();
  if (sound) {
    WalkRegistry(api);
    api.Registry().Profiles();
  }
  return 0;
}
