#include "session/HostFiles.h"

#include "session/HostSystem.h"

namespace quillon {

THostFiles::THostFiles() : scope_(HostFilesApi()) {}

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
