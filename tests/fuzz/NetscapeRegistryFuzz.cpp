// Netscape/Mozilla registry files ("registry.dat", "nsreg.dat"): loads the input and looks up
// every key and value of the tree it gives by path, as the profile discovery does.

#include "FuzzFile.h"
#include "formats/NetscapeRegistry.h"

#include <cstdlib>
#include <utility>
#include <vector>

using namespace quillon;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::TFuzzFile file("C:\\Mozilla\\registry.dat", data, size);
  const TNSRegistry registry("C:\\Mozilla\\registry.dat");

  // The lookups the browsers' profile lists make.
  registry.GetKeyNames("Common\\Profiles");
  registry.ReadString("Common\\Profiles\\CurrentProfile");
  registry.GetKeyNames("/\\Users");

  constexpr std::size_t kMaxLookups = 4096; // keeps one input's run short
  std::size_t lookups = 0;
  std::vector<std::pair<const TDataRec*, std::string>> pending;
  if (registry.Root() != nullptr)
    pending.emplace_back(registry.Root(), std::string());
  while (!pending.empty() && lookups < kMaxLookups) {
    const auto [node, path] = std::move(pending.back());
    pending.pop_back();
    registry.GetKeyNames(path);
    for (const auto& child : node->Children) {
      const std::string childPath = path.empty() ? child->Name : path + "\\" + child->Name;
      ++lookups;
      if (child->IsValue) {
        // Where the key's path leads back to this key and the entry is the first child of its
        // name, a lookup by path must give the entry's value.
        const std::string value = registry.ReadString(childPath);
        const bool plainPath = !path.empty() && !path.starts_with("/\\") &&
                               registry.FindNode(path, registry.Root()) == node &&
                               child->Name.find('\\') == std::string::npos &&
                               registry.FindNode(child->Name, node) == child.get();
        if (plainPath && value != child->Value)
          std::abort();
      } else {
        pending.emplace_back(child.get(), childPath);
      }
    }
  }
  return 0;
}
