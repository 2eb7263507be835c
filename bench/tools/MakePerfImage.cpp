// Writes the demo image with one store replaced by a large one (bench/tools/PerfImages.h) and
// prints that store's host path.
//
//   quillon-make-perf-image cookies|visits|mork DIR

#include "tools/PerfImages.h"

#include <filesystem>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
  const std::string kind = argc == 3 ? argv[1] : "";
  if (kind != "cookies" && kind != "visits" && kind != "mork") {
    std::cerr << "usage: quillon-make-perf-image cookies|visits|mork DIR\n";
    return 2;
  }
  const std::string store =
      quillon::bench::WritePerfImage(kind, std::filesystem::absolute(argv[2]).string());
  if (!std::filesystem::exists(store)) {
    std::cerr << "quillon-make-perf-image: " << store << " was not written\n";
    return 1;
  }
  std::cout << store << '\n';
  return 0;
}
