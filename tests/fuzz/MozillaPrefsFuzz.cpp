// prefs.js: reads the input, looks up and changes entries, and writes it back. Writing what was
// read must be stable: reading the written text and writing it again gives the same text.

#include "FuzzFile.h"
#include "formats/MozillaPrefs.h"

#include <algorithm>
#include <cstdlib>
#include <string>

using namespace quillon;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TMozillaPrefsList prefs;
  prefs.LoadFromText(fuzz::TFuzzFile::Bytes(data, size));

  constexpr int kMaxLookups = 256; // keeps one input's run short
  // Lookups through a const view: Items() on the list itself hands entries out for change and
  // so drops the name index each time.
  const TMozillaPrefsList& view = prefs;
  const int count = std::min(view.Count(), kMaxLookups);
  for (int i = 0; i < count; ++i) {
    const std::string& name = view.Items(i).Name;
    if (!view.Exists(name))
      std::abort();
    view.ReadString(name);
    view.ReadInteger(name);
  }
  prefs.ReadString("browser.startup.homepage");

  const std::string written = prefs.SaveToText();
  TMozillaPrefsList again;
  again.LoadFromText(written);
  if (again.SaveToText() != written)
    std::abort();

  // A changed value is what the file holds afterwards.
  if (prefs.Count() > 0) {
    const std::string name = prefs.Items(0).Name;
    prefs.WriteString(name, "about:blank");
    prefs.WriteString("browser.startup.homepage", "about:blank");
    TMozillaPrefsList changed;
    changed.LoadFromText(prefs.SaveToText());
    if (changed.ReadString("browser.startup.homepage") != "about:blank")
      std::abort();
  }
  return 0;
}
