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

std::string THostFiles::HostTerms(std::string message, const std::string& windowsPath,
                                  const std::string& hostPath) const {
  if (windowsPath.empty())
    return message;
  for (std::size_t at = message.find(windowsPath); at != std::string::npos;
       at = message.find(windowsPath, at + hostPath.size()))
    message.replace(at, windowsPath.size(), hostPath);
  return message;
}

} // namespace quillon
