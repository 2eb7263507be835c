#pragma once
// Opens the Windows system image the command line names, for both front ends: the image folder
// (or the demo image), the extra drives and the session's user.

#include "session/CommandLine.h"
#include "session/DemoDrive.h"
#include "winapi/image/ImageWinApi.h"

#include <memory>
#include <string>

namespace quillon {

// The image backend for the options; an unusable image (not a folder, or no
// Windows\System32\config\SOFTWARE in it), drive folder or user raises EUsageError with the one
// line to print. demoImage is used when the options name no image; its second drive
// is mapped unless the options map that letter themselves.
std::shared_ptr<winapi::image::TImageWinApi> OpenImage(const TImageOptions& options,
                                                       const std::string& demoImage);

// The demo image that the programs read without --image, found from the running executable:
// beside it in a build tree (build/demo-image), in share/quillon/demo-image of the prefix it is
// installed in. Empty when neither exists, so that a copied program never reads a stray one.
std::string DemoImageBesideProgram();

} // namespace quillon
