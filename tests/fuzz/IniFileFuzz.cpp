// INI files ("profiles.ini" of the Mozilla family): reads the input and looks up every key of
// every section, as text and as a number, as the profile discovery does.

#include "FuzzFile.h"
#include "formats/IniFile.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

using namespace quillon;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::TFuzzFile file("C:\\Mozilla\\profiles.ini", data, size);
  const TIniFile ini("C:\\Mozilla\\profiles.ini");

  constexpr std::size_t kMaxSections = 256; // keeps one input's run short
  const std::vector<std::string> sections = ini.ReadSections();
  for (std::size_t i = 0; i < std::min(sections.size(), kMaxSections); ++i) {
    for (const char* key : {"Name", "Path", "IsRelative", "Default", "StartWithLastProfile"}) {
      // A missing key gives the default back, whatever it is.
      const std::string text = ini.ReadString(sections[i], key, "\x01missing");
      const int number = ini.ReadInteger(sections[i], key, -12345);
      if (text == "\x01missing" && number != -12345)
        std::abort();
    }
  }
  return 0;
}
