// Writes the demo Windows system image: a 64-bit Windows 7 system drive with three users, the
// machine hives and each user's NTUSER.DAT. Deterministic: the same files every time.
//
//   quillon-make-demo [--reset] DIR
//
// Without --reset an existing image is left alone (cleaning and purging change it on purpose);
// with --reset it is removed and written afresh.

#include "kit/DemoImage.h"

#include <filesystem>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
  bool reset = false;
  std::string dir;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--reset")
      reset = true;
    else if (dir.empty() && !arg.empty() && arg[0] != '-')
      dir = arg;
    else {
      std::cerr << "usage: quillon-make-demo [--reset] DIR\n";
      return 2;
    }
  }
  if (dir.empty()) {
    std::cerr << "usage: quillon-make-demo [--reset] DIR\n";
    return 2;
  }
  try {
    namespace fs = std::filesystem;
    const fs::path marker = fs::path(dir) / quillon::kit::kDemoImageMarker;
    if (!reset && fs::exists(marker))
      return 0;
    quillon::kit::WriteDemoImage(dir);
  } catch (const std::exception& e) {
    std::cerr << "quillon-make-demo: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
