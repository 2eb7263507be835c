#pragma once
// The demo image's second drive: a folder beside the image that the demo writer fills and the
// image opener maps when the programs run on the demo image.

#include <string>

namespace quillon {

inline constexpr char kDemoSecondDrive = 'E';

inline std::string DemoSecondDriveFolder(const std::string& demoImage) {
  return demoImage + "-drive-" + kDemoSecondDrive;
}

} // namespace quillon
