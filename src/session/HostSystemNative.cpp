// The Windows build: the session shows the running system, and the user's own files are that
// system's files.

#include "session/HostSystem.h"

#include "winapi/native/NativeBackend.h"

namespace quillon {

std::shared_ptr<winapi::TWinApi> OpenSystem(const TImageOptions& options) {
  // The image options choose what an image backend maps; the running system has nothing to map.
  if (!options.image.empty() || !options.user.empty() || !options.drives.empty())
    throw EUsageError{"--image, --user and --drive read a Windows system image, which the "
                      "Windows build does not: it shows the running system's current user"};
  return winapi::native::NativeWinApi();
}

const TSystemUsage& SystemUsage() {
  static const TSystemUsage usage{"", "the running Windows system", R"(Options:
  --version       the program's name and version
  -h, --help      this text
The Windows build shows the running system's current user: --image, --user and --drive, which
read a Windows system image elsewhere, are refused.
)"};
  return usage;
}

std::string ShownSystemText(const TImageOptions&) {
  return "this computer";
}

std::shared_ptr<winapi::TWinApi> HostFilesApi() {
  return winapi::native::NativeWinApi();
}

std::string RunningProgramPath() {
  return winapi::native::NativeFiles()->ModuleFileName();
}

} // namespace quillon
