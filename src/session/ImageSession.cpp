#include "session/ImageSession.h"

#include "session/HostSystem.h"
#include "winapi/image/ImageRegistry.h"

#include <filesystem>

namespace quillon {

namespace fs = std::filesystem;

namespace {
constexpr const char* kSoftwareHive = "C:\\Windows\\System32\\config\\SOFTWARE";
} // namespace

std::shared_ptr<winapi::image::TImageWinApi> OpenImage(const TImageOptions& options,
                                                       const std::string& demoImage) {
  winapi::image::TImageConfig config;
  const bool demo = options.image.empty();
  config.imageRoot = demo ? demoImage : options.image;
  std::error_code ec;
  if (demo && config.imageRoot.empty())
    throw EUsageError{"no demo image beside the program: name a Windows system drive with "
                      "--image DIR"};
  if (!fs::is_directory(config.imageRoot, ec)) {
    if (demo)
      throw EUsageError{"the demo image " + config.imageRoot +
                        " is missing; write it with 'make demo-reset'"};
    if (fs::exists(config.imageRoot, ec))
      throw EUsageError{"image " + config.imageRoot + " is not a folder"};
    throw EUsageError{"image folder " + config.imageRoot + " does not exist"};
  }
  for (const auto& [letter, dir] : options.drives) {
    if (!fs::is_directory(dir, ec))
      throw EUsageError{std::string("folder ") + dir + " for drive " + letter + ": does not exist"};
    config.drives[letter] = dir;
  }
  const std::string secondDrive = DemoSecondDriveFolder(demoImage);
  if (demo && !config.drives.count(kDemoSecondDrive) && fs::is_directory(secondDrive, ec))
    config.drives[kDemoSecondDrive] = secondDrive;
  config.user = options.user;
  config.executablePath = RunningProgramPath();
  auto api = std::make_shared<winapi::image::TImageWinApi>(config);
  // A Windows system drive holds its machine hive; without it there is no registry, no user and
  // nothing to show. The backend resolves the path as it resolves every other one.
  const winapi::DWORD hive = api->files->Attributes(kSoftwareHive);
  if (hive == winapi::INVALID_FILE_ATTRIBUTES || (hive & winapi::FILE_ATTRIBUTE_DIRECTORY) != 0)
    throw EUsageError{"image folder " + config.imageRoot +
                      " holds no Windows system: Windows\\System32\\config\\SOFTWARE is missing"};
  if (!options.user.empty() && api->Registry().CurrentUserSid().empty())
    throw EUsageError{"no user " + options.user + " in the image (give a folder name below " +
                      "Users or a SID listed in ProfileList)"};
  return api;
}

std::string DemoImageBesideProgram() {
  const fs::path executable = RunningProgramPath();
  if (executable.empty())
    return {};
  std::error_code ec;
  const fs::path folder = executable.parent_path();
  for (const fs::path& candidate :
       {folder / "demo-image", folder.parent_path() / "share" / "quillon" / "demo-image"}) {
    if (fs::is_directory(candidate, ec))
      return candidate.string();
  }
  return {};
}

} // namespace quillon
