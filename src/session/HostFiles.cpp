#include "session/HostFiles.h"

#include "winapi/image/ImageWinApi.h"

#include <memory>

namespace quillon {

namespace {

std::shared_ptr<winapi::TWinApi> HostApi() {
  winapi::image::TImageConfig config;
  config.imageRoot = "/";
  return std::make_shared<winapi::image::TImageWinApi>(config);
}

} // namespace

THostFiles::THostFiles() : scope_(HostApi()) {}

std::string THostFiles::WindowsPath(const std::string& hostPath) const {
  return winapi::WindowsPathFromHost(hostPath);
}

} // namespace quillon
