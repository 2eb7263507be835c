// Version resources of Windows executables: reads the input as an executable through the path
// functions the discovery uses, and as a version resource (VS_VERSIONINFO) on its own.

#include "FuzzFile.h"
#include "platform/PEVersions.h"

#include <cstdlib>
#include <string_view>
#include <vector>

using namespace quillon;

namespace {

// A view a query hands out must lie inside the bytes it was asked about.
void CheckInside(std::string_view part, std::string_view whole) {
  if (part.empty())
    return;
  if (part.data() < whole.data() || part.data() + part.size() > whole.data() + whole.size())
    std::abort();
}

void QueryResource(std::string_view resource) {
  static constexpr const char* kSubBlocks[] = {"\\",
                                               "\\VarFileInfo\\Translation",
                                               "\\StringFileInfo\\040904B0\\FileVersion",
                                               "\\\\StringFileInfo\\\\040904b0\\\\ProductName",
                                               "\\StringFileInfo",
                                               "\\StringFileInfo\\040904E4\\CompanyName"};
  for (const char* subBlock : kSubBlocks) {
    std::string_view value;
    if (VerQueryValue(resource, subBlock, value))
      CheckInside(value, resource);
    std::string text;
    VerQueryText(resource, subBlock, text);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  if (const auto resource = FindVersionResource(bytes)) {
    CheckInside(*resource, bytes);
    QueryResource(*resource);
  }
  QueryResource(bytes);

  const fuzz::TFuzzFile file("C:\\Program Files\\Browser\\browser.exe", data, size);
  const std::string path = "C:\\Program Files\\Browser\\browser.exe";
  const int count = GetTranslationCount(path);
  std::vector<std::string> lines;
  for (int i = -1; i <= count && i < 4; ++i)
    ReadVersionStrings(path, i, lines);
  std::uint32_t ms = 0, ls = 0;
  GetFileVersionText(path, ms, ls);
  return 0;
}
