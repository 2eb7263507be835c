#include "kit/DemoImage.h"

#include "kit/ImageBuilder.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace quillon::kit {

namespace {

namespace fs = std::filesystem;

// Fixed modification times, so that "the profile whose NTUSER.DAT changed last" is the same on
// every machine: alice's hive is the newest.
void SetFixedTime(const fs::path& file, int daysAfterBase) {
  using namespace std::chrono;
  // 2011-03-01 12:00 UTC
  const sys_seconds base = sys_days{year{2011} / March / 1} + hours{12};
  const sys_seconds when = base + days{daysAfterBase};
  std::error_code ec;
  fs::last_write_time(file, fs::file_time_type::clock::from_sys(when), ec);
}

} // namespace

void WriteDemoImage(const std::string& root) {
  std::error_code ec;
  fs::remove_all(root, ec);
  if (ec)
    throw std::runtime_error("cannot remove " + root + ": " + ec.message());
  fs::create_directories(root);

  TImageBuilder image(root, /*is64=*/true);
  image.System().SetString("ControlSet001\\Control\\ComputerName\\ComputerName", "ComputerName",
                           kDemoComputerName);
  image.Software().SetString("Microsoft\\Windows NT\\CurrentVersion\\Winlogon", "DefaultUserName",
                             "alice");
  image.Software().SetString("Microsoft\\Windows NT\\CurrentVersion", "ProductName",
                             "Windows 7 Professional");
  image.Software().SetString("Microsoft\\Internet Explorer", "Version", "8.0.7601.17514");
  image.Software().SetString("Wow6432Node\\Microsoft\\Internet Explorer", "Version",
                             "8.0.7601.17514");

  // alice: a complete profile, the last logged-on user.
  image.AddUser(kDemoUsers[0].name, kDemoUsers[0].sid);
  // bob: his Shell Folders lack AppData, so that lookup falls back to User Shell Folders.
  THiveWriter& bob = image.AddUser(kDemoUsers[1].name, kDemoUsers[1].sid,
                                   /*withShellFolders=*/false);
  const std::string shellFolders =
      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  const std::string bobProfile = "C:\\Users\\bob\\";
  bob.SetString(shellFolders, "Local AppData", bobProfile + "AppData\\Local");
  bob.SetString(shellFolders, "Cache",
                bobProfile + "AppData\\Local\\Microsoft\\Windows\\Temporary Internet Files");
  bob.SetString(shellFolders, "Cookies",
                bobProfile + "AppData\\Roaming\\Microsoft\\Windows\\Cookies");
  bob.SetString(shellFolders, "History",
                bobProfile + "AppData\\Local\\Microsoft\\Windows\\History");
  bob.SetString(shellFolders, "Favorites", bobProfile + "Favorites");
  // carol: logged on at the moment the image was taken, with a volatile environment.
  THiveWriter& carol = image.AddUser(kDemoUsers[2].name, kDemoUsers[2].sid);
  carol.SetString("Volatile Environment", "USERPROFILE", "C:\\Users\\carol");
  carol.SetString("Volatile Environment", "APPDATA", "C:\\Users\\carol\\AppData\\Roaming");
  carol.SetString("Volatile Environment", "LOCALAPPDATA", "C:\\Users\\carol\\AppData\\Local");
  carol.SetString("Volatile Environment", "HOMEPATH", "\\Users\\carol");
  carol.SetString("Volatile Environment", "HOMEDRIVE", "C:");

  AddDemoBrowserProfiles(image);
  AddDemoInternetExplorer(image);
  AddDemoOpera(image);
  image.Commit();

  int day = 0;
  for (const char* name : {"carol", "bob", "alice"})
    SetFixedTime(image.HostPathOf(std::string("C:\\Users\\") + name + "\\NTUSER.DAT"), day++);

  const std::string secondDrive = DemoSecondDriveFolder(root);
  fs::remove_all(secondDrive, ec);
  fs::create_directories(secondDrive);
  WriteDemoSecondDrive(secondDrive);

  std::ofstream(fs::path(root) / kDemoImageMarker) << "Quillon demo image\n";
}

} // namespace quillon::kit
