// The Linux build: the session shows a Windows system image, and the user's own files are the
// host's, reached through an image backend whose drive is the host's "/".

#include "session/HostSystem.h"

#include "session/ImageSession.h"
#include "winapi/image/ImageWinApi.h"

#include <algorithm>
#include <filesystem>
#include <unistd.h>

namespace quillon {

std::shared_ptr<winapi::TWinApi> OpenSystem(const TImageOptions& options) {
  return OpenImage(options, DemoImageBesideProgram());
}

const TSystemUsage& SystemUsage() {
  static const TSystemUsage usage{"[--image DIR] [--user NAME] [--drive X=DIR]... ",
                                  "a Windows system image", ImageOptionsText()};
  return usage;
}

std::string ShownSystemText(const TImageOptions& options) {
  return options.image.empty() ? std::string("the demo image") : options.image;
}

std::shared_ptr<winapi::TWinApi> HostFilesApi() {
  winapi::image::TImageConfig config;
  config.imageRoot = "/";
  return std::make_shared<winapi::image::TImageWinApi>(config);
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + std::min(argc, 1), argv + argc);
}

void PrepareTerminalOutput() {}

std::string RunningProgramPath() {
  std::error_code ec;
  const std::string path = std::filesystem::read_symlink("/proc/self/exe", ec).string();
  return ec ? std::string() : path;
}

bool StandardOutputIsTerminal() {
  return isatty(STDOUT_FILENO) != 0;
}

} // namespace quillon
