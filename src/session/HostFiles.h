#pragma once
// Files the user names himself — on quillon-cli's command line, in a viewer's file dialog — are
// host files wherever the image lies: the user chose them, so they are not the image's choice.
// While a THostFiles lives, the Windows services reach the host's own folders (its "/" serves as
// the drive), so readers that take Windows paths read those files as they read an image's.

#include "winapi/WinApi.h"

#include <string>

namespace quillon {

class THostFiles {
public:
  THostFiles();
  THostFiles(const THostFiles&) = delete;
  THostFiles& operator=(const THostFiles&) = delete;

  // The Windows path of a host path (a relative one from the working folder) for the readers;
  // empty when it cannot be one (an empty path, a NUL in it).
  std::string WindowsPath(const std::string& hostPath) const;
  // A reader's message about windowsPath as the user knows the file: by hostPath.
  std::string HostTerms(std::string message, const std::string& windowsPath,
                        const std::string& hostPath) const;

private:
  winapi::TWinApiScope scope_;
};

} // namespace quillon
