#include "winapi/image/ImageFileSystem.h"
#include "winapi/image/ImageWinApi.h"

#include "kit/FileHolder.h"
#include "kit/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quillon::winapi;
using quillon::winapi::image::TImageConfig;
using quillon::winapi::image::TImageFileSystem;

namespace {

namespace fs = std::filesystem;

std::string ReadHost(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A small image beside a file outside it and a second drive:
//   <tmp>/img            C:
//   <tmp>/usb            D: (configured with a lower-case letter)
//   <tmp>/secret.txt     outside every drive
class ImageFileSystemTest : public ::testing::Test {
protected:
  ImageFileSystemTest() {
    root_ = tmp_.Path() + "/img";
    usb_ = tmp_.Path() + "/usb";
    fs::create_directories(root_);
    fs::create_directories(usb_);
    Put("Users/Alice/NTUSER.DAT", "hive");
    Put("Data/A.txt", "0123456789");
    Put("Data/b.txt", "abc");
    Put("Data/noext", "");
    fs::create_directories(root_ + "/Data/sub");
    Put("../secret.txt", "secret");
    Put("../usb/stick.txt", "stick");
    config_.imageRoot = root_;
    config_.drives['d'] = usb_;
    config_.executablePath = root_ + "/quillon.exe"; // inside the image: no drive of its own
    files_ = std::make_shared<TImageFileSystem>(config_, backend_->lastError);
    backend_->files = files_;
    scope_.emplace(backend_);
  }

  void Put(const std::string& rel, const std::string& content) {
    const fs::path p = fs::path(root_) / rel;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << content;
  }
  std::string Host(const std::string& rel) const { return root_ + "/" + rel; }

  quillon::kit::TTempDir tmp_;
  std::string root_, usb_;
  TImageConfig config_;
  std::shared_ptr<TWinApi> backend_ = std::make_shared<TWinApi>();
  std::shared_ptr<TImageFileSystem> files_;
  std::optional<TWinApiScope> scope_; // GetLastError answers the file system's errors
};

// --- Path resolution -------------------------------------------------------------------------

TEST_F(ImageFileSystemTest, ResolvesEachComponentWithoutRegardToCase) {
  EXPECT_EQ(files_->HostPath("c:\\users\\ALICE\\ntuser.dat"), Host("Users/Alice/NTUSER.DAT"));
  EXPECT_EQ(files_->Attributes("C:/USERS//alice\\\\.\\NtUser.Dat"), FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(files_->Attributes("C:\\Users\\"), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(files_->Attributes("\\\\?\\C:\\Users"), FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(ImageFileSystemTest, PrefersTheExactNameThenTheSmallestCaseVariant) {
  Put("Twins/a.txt", "lower");
  Put("Twins/A.TXT", "upper");
  std::string data;
  ASSERT_TRUE(files_->ReadWhole("C:\\Twins\\a.txt", data));
  EXPECT_EQ(data, "lower");
  ASSERT_TRUE(files_->ReadWhole("C:\\twins\\A.TXT", data));
  EXPECT_EQ(data, "upper");
  // No exact match: the choice does not depend on the folder's order.
  EXPECT_EQ(files_->HostPath("C:\\twins\\a.Txt"), Host("Twins/A.TXT"));
}

TEST_F(ImageFileSystemTest, DotDotNeverLeavesTheDrive) {
  ASSERT_EQ(ReadHost(tmp_.Path() + "/secret.txt"), "secret");
  std::string data;
  for (const std::string path :
       {"C:\\..\\secret.txt", "C:\\Users\\..\\..\\..\\secret.txt", "C:/../../secret.txt"}) {
    EXPECT_FALSE(files_->ReadWhole(path, data)) << path;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << path;
    EXPECT_EQ(files_->HostPath(path), Host("secret.txt")) << path;
  }
  EXPECT_EQ(files_->HostPath("C:\\..\\..\\"), root_);
  EXPECT_EQ(files_->Attributes("C:\\..\\..\\"), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(files_->HostPath("C:\\Users\\Alice\\..\\Alice\\.\\NTUSER.DAT"),
            Host("Users/Alice/NTUSER.DAT"));
}

TEST_F(ImageFileSystemTest, ReportsMissingPathsAsWindowsDoes) {
  const struct {
    std::string path;
    DWORD error;
  } cases[] = {
      {"C:\\Users\\Bob", ERROR_FILE_NOT_FOUND},
      {"C:\\Users\\Bob\\NTUSER.DAT", ERROR_PATH_NOT_FOUND},
      {"C:\\Users\\Alice\\NTUSER.DAT\\x", ERROR_PATH_NOT_FOUND},
      {"C:\\Users\\Alice\\NTUSER.DAT\\", ERROR_INVALID_NAME},
      {"Q:\\Users", ERROR_PATH_NOT_FOUND},    // unmapped drive
      {"Users\\Alice", ERROR_PATH_NOT_FOUND}, // no drive letter
      {"NTUSER.DAT", ERROR_FILE_NOT_FOUND},   // no drive letter, one name
      {"\\Users", ERROR_FILE_NOT_FOUND},      // root-relative without a drive
      {std::string("C:\\Us\0ers", 9), ERROR_INVALID_NAME},
  };
  for (const auto& c : cases) {
    SetLastError(0);
    EXPECT_EQ(files_->Attributes(c.path), INVALID_FILE_ATTRIBUTES) << c.path;
    EXPECT_EQ(GetLastError(), c.error) << c.path;
  }
  EXPECT_EQ(files_->HostPath("Q:\\Users"), "");
  EXPECT_EQ(files_->HostPath("Users\\Alice"), "");
}

TEST_F(ImageFileSystemTest, SurvivesOddInput) {
  EXPECT_EQ(files_->Attributes(""), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(files_->Attributes("C:"), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(files_->Attributes(":"), INVALID_FILE_ATTRIBUTES);
  std::string longPath = "C:";
  for (int i = 0; i < 20000; ++i)
    longPath += "\\abcdefgh";
  EXPECT_EQ(files_->Attributes(longPath), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(files_->WriteWhole("C:\\" + std::string(5000, 'x'), "x"));
  // A name that is not UTF-8 is found by its bytes.
  Put("Data/\xFF\xFEname.bin", "raw");
  std::string data;
  ASSERT_TRUE(files_->ReadWhole("C:\\DATA\\\xFF\xFEName.bin", data));
  EXPECT_EQ(data, "raw");
}

TEST_F(ImageFileSystemTest, ServesOnlyConfiguredDrives) {
  std::string data;
  ASSERT_TRUE(files_->ReadWhole("D:\\STICK.txt", data));
  EXPECT_EQ(data, "stick");
  // The host's own folders are no drive: not as Z: (as under Wine), not under another spelling.
  for (const std::string& path :
       {"Z:" + tmp_.Path() + "/secret.txt", "\\\\?\\Z:" + tmp_.Path() + "/secret.txt",
        "z:/" + tmp_.Path() + "/secret.txt", std::string("Z:\\etc\\passwd")}) {
    EXPECT_FALSE(files_->ReadWhole(path, data)) << path;
    EXPECT_EQ(files_->HostPath(path), "") << path;
  }
  EXPECT_EQ(files_->DriveType("C:"), DRIVE_FIXED);
  EXPECT_EQ(files_->DriveType("c:\\"), DRIVE_FIXED);
  EXPECT_EQ(files_->DriveType("D:/"), DRIVE_FIXED);
  EXPECT_EQ(files_->DriveType("E:\\"), DRIVE_NO_ROOT_DIR);
  EXPECT_EQ(files_->DriveType("C:\\Users"), DRIVE_NO_ROOT_DIR);
  EXPECT_EQ(files_->DriveType(""), DRIVE_NO_ROOT_DIR);
}

TEST_F(ImageFileSystemTest, HostAndWindowsPathsRoundTrip) {
  for (const std::string& host : {Host("Users/Alice/NTUSER.DAT"), root_, usb_ + "/stick.txt"}) {
    const std::string windows = files_->WindowsPathFromHost(host);
    ASSERT_FALSE(windows.empty()) << host;
    EXPECT_EQ(files_->HostPath(windows), host) << windows;
  }
  EXPECT_EQ(files_->WindowsPathFromHost(Host("Users/Alice/NTUSER.DAT")),
            "C:\\Users\\Alice\\NTUSER.DAT");
  EXPECT_EQ(files_->WindowsPathFromHost(root_ + "/"), "C:\\");
  EXPECT_EQ(files_->WindowsPathFromHost(usb_ + "/stick.txt"), "D:\\stick.txt");
  // Outside every drive, and a sibling whose name starts like the image root, have no path.
  EXPECT_EQ(files_->WindowsPathFromHost(tmp_.Path() + "/secret.txt"), "");
  EXPECT_EQ(files_->WindowsPathFromHost(tmp_.Path() + "/img2/x"), "");
  // The missing tail is kept as given.
  EXPECT_EQ(files_->HostPath("C:\\users\\alice\\New Folder\\Sub.TXT"),
            Host("Users/Alice/New Folder/Sub.TXT"));
}

TEST(ImageFileSystemDrives, LongestRootWinsAndCBeatsAnEqualRoot) {
  quillon::kit::TTempDir tmp;
  fs::create_directories(tmp.Path() + "/img/Users/Alice");
  fs::create_directory_symlink(tmp.Path() + "/img", tmp.Path() + "/link");
  TImageConfig config;
  config.imageRoot = tmp.Path() + "/link/"; // given through a symbolic link
  config.drives['E'] = tmp.Path() + "/img/Users";
  config.drives['F'] = tmp.Path() + "/link";
  TImageFileSystem files(config);
  EXPECT_EQ(files.WindowsPathFromHost(tmp.Path() + "/img/Users/Alice"), "E:\\Alice");
  EXPECT_EQ(files.WindowsPathFromHost(tmp.Path() + "/link/Users"), "C:\\Users");
  // The real folder of the image still maps to C:, not to Z:.
  EXPECT_EQ(files.WindowsPathFromHost(tmp.Path() + "/img"), "C:\\");
}

TEST(ImageFileSystemModule, ServesTheProgramsFolderReadOnly) {
  quillon::kit::TTempDir tmp;
  TImageConfig config;
  config.imageRoot = tmp.Path() + "/img";
  fs::create_directories(config.imageRoot);
  // Inside the image the executable is reached as any file of it.
  config.executablePath = tmp.Path() + "/img/Program Files/Quillon/quillon.exe";
  EXPECT_EQ(TImageFileSystem(config).ModuleFileName(), "C:\\Program Files\\Quillon\\quillon.exe");

  // Elsewhere its folder is a share of its own that nothing can change; no drive letter (Z: as
  // under Wine) is the host.
  fs::create_directories(tmp.Path() + "/bin");
  std::ofstream(tmp.Path() + "/bin/Quillon.ieldat") << "list";
  std::ofstream(tmp.Path() + "/secret.txt") << "secret";
  config.executablePath = tmp.Path() + "/bin/quillon";
  const auto lastError = std::make_shared<TThreadLastError>(); // this file system's own
  TImageFileSystem files(config, lastError);
  EXPECT_EQ(files.ModuleFileName(), "\\\\quillon\\program\\quillon");
  std::string data;
  for (const std::string path :
       {"\\\\quillon\\program\\quillon.IELDAT", "\\\\?\\UNC\\Quillon\\Program\\Quillon.ieldat",
        "//quillon/program/Quillon.ieldat"}) {
    data.clear();
    EXPECT_TRUE(files.ReadWhole(path, data)) << path;
    EXPECT_EQ(data, "list") << path;
  }
  for (char letter = 'D'; letter <= 'Z'; ++letter) {
    EXPECT_EQ(files.DriveType(std::string{letter, ':'}), DRIVE_NO_ROOT_DIR) << letter;
  }
  EXPECT_FALSE(files.ReadWhole("\\\\quillon\\program\\..\\secret.txt", data));
  EXPECT_FALSE(files.ReadWhole("\\\\quillon\\secret.txt", data));
  const std::string list = "\\\\quillon\\program\\Quillon.ieldat";
  EXPECT_FALSE(files.WriteWhole(list, "x"));
  EXPECT_EQ(lastError->Get(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(files.Delete(list));
  EXPECT_FALSE(files.WriteWhole("\\\\quillon\\program\\new.txt", "x"));
  EXPECT_FALSE(files.SetAttributes(list, FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(files.Attributes(list), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(ReadHost(tmp.Path() + "/bin/Quillon.ieldat"), "list");
  EXPECT_FALSE(fs::exists(tmp.Path() + "/bin/new.txt"));

  // Without a configured path the running executable's folder is served.
  config.executablePath.clear();
  config.drives.clear();
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  const std::string module = TImageFileSystem(config).ModuleFileName();
  ASSERT_TRUE(module.starts_with("\\\\quillon\\program\\")) << module;
  EXPECT_EQ(TImageFileSystem(config).HostPath(module), self);
}

// --- Enumeration -----------------------------------------------------------------------------

std::vector<std::string> List(TImageFileSystem& files, const std::string& mask) {
  std::vector<std::string> names;
  WIN32_FIND_DATA data;
  const HANDLE h = files.FindFirst(mask, data);
  if (h == INVALID_HANDLE_VALUE)
    return names;
  do
    names.push_back(data.cFileName);
  while (files.FindNext(h, data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  EXPECT_TRUE(files.FindEnd(h));
  return names;
}

using TNames = std::vector<std::string>;

TEST_F(ImageFileSystemTest, FindListsMatchesSortedWithDotsBelowTheRoot) {
  EXPECT_EQ(List(*files_, "C:\\data\\*"), (TNames{".", "..", "A.txt", "b.txt", "noext", "sub"}));
  EXPECT_EQ(List(*files_, "C:\\data\\*.*"), (TNames{".", "..", "A.txt", "b.txt", "noext", "sub"}));
  EXPECT_EQ(List(*files_, "C:\\data\\*.TXT"), (TNames{"A.txt", "b.txt"}));
  EXPECT_EQ(List(*files_, "C:\\data\\*."), (TNames{"noext", "sub"}));
  EXPECT_EQ(List(*files_, "C:\\data\\?.txt"), (TNames{"A.txt", "b.txt"}));
  EXPECT_EQ(List(*files_, "C:\\data\\a.TXT"), (TNames{"A.txt"}));
  EXPECT_EQ(List(*files_, "C:\\*"), (TNames{"Data", "Users"})); // a root has no "." / ".."
  EXPECT_EQ(List(*files_, "C:\\Data"), (TNames{"Data"}));
}

TEST_F(ImageFileSystemTest, FindFillsAttributesSizesAndTimes) {
  // 2020-01-02 03:04:05.1234567 UTC as the host keeps it (nanoseconds).
  const timespec modified{1577934245, 123456700};
  const timespec accessed{1600000000, 0};
  const timespec times[2] = {accessed, modified};
  ASSERT_EQ(utimensat(AT_FDCWD, Host("Data/A.txt").c_str(), times, 0), 0);
  const auto toFileTime = [](const timespec& t) {
    return static_cast<std::uint64_t>(t.tv_sec + 11644473600LL) * 10000000 + t.tv_nsec / 100;
  };
  const std::uint64_t nowTicks =
      toFileTime({std::chrono::system_clock::to_time_t(std::chrono::system_clock::now()), 0});

  std::map<std::string, WIN32_FIND_DATA> seen;
  WIN32_FIND_DATA data;
  const HANDLE h = files_->FindFirst("C:\\Data\\*", data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  do
    seen[data.cFileName] = data;
  while (files_->FindNext(h, data));
  files_->FindEnd(h);

  const WIN32_FIND_DATA& a = seen.at("A.txt");
  EXPECT_EQ(a.dwFileAttributes, FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(a.nFileSize, 10u);
  EXPECT_EQ(FileTimeToU64(a.ftLastWriteTime), 132224078451234567ull);
  EXPECT_EQ(FileTimeToU64(a.ftLastWriteTime), toFileTime(modified));
  EXPECT_EQ(FileTimeToU64(a.ftLastAccessTime), toFileTime(accessed));
  // Created just now (birth or status-change time), not when it was last written.
  const std::uint64_t minute = 60ull * 10000000;
  EXPECT_GT(FileTimeToU64(a.ftCreationTime) + minute, nowTicks);
  EXPECT_LT(FileTimeToU64(a.ftCreationTime), nowTicks + minute);
  EXPECT_EQ(seen.at("b.txt").nFileSize, 3u);
  EXPECT_EQ(seen.at("sub").dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(seen.at("sub").nFileSize, 0u);
  EXPECT_EQ(seen.at(".").dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(seen.at("..").dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(ImageFileSystemTest, FindReportsWindowsErrors) {
  WIN32_FIND_DATA data;
  const struct {
    std::string mask;
    DWORD error;
  } cases[] = {
      {"C:\\Missing\\*", ERROR_PATH_NOT_FOUND},
      {"C:\\Data\\A.txt\\*", ERROR_PATH_NOT_FOUND},
      {"C:\\Data\\*.zip", ERROR_FILE_NOT_FOUND},
      {"C:\\Data\\", ERROR_FILE_NOT_FOUND},
      {"C:\\", ERROR_FILE_NOT_FOUND},
      {"Q:\\*", ERROR_PATH_NOT_FOUND},
      {"*", ERROR_FILE_NOT_FOUND},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(files_->FindFirst(c.mask, data), INVALID_HANDLE_VALUE) << c.mask;
    EXPECT_EQ(GetLastError(), c.error) << c.mask;
  }
  const HANDLE h = files_->FindFirst("C:\\Data\\b.txt", data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(files_->FindNext(h, data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  EXPECT_TRUE(files_->FindEnd(h));
  EXPECT_FALSE(files_->FindEnd(h));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(files_->FindNext(h, data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(ImageFileSystemTest, FindWorksOnTheSnapshotTakenAtFirst) {
  WIN32_FIND_DATA data;
  const HANDLE h = files_->FindFirst("C:\\Data\\*.txt", data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.cFileName, "A.txt");
  Put("Data/c.txt", "new");       // not in the snapshot
  fs::remove(Host("Data/b.txt")); // gone before it was reported
  EXPECT_FALSE(files_->FindNext(h, data));
  files_->FindEnd(h);
}

TEST_F(ImageFileSystemTest, FindHandleClosesThroughTheInstalledBackend) {
  TWinApiScope scope(std::make_shared<quillon::winapi::image::TImageWinApi>(config_));
  HANDLE raw = INVALID_HANDLE_VALUE;
  {
    WIN32_FIND_DATA data;
    TFindHandle find(FindFirstFile("C:\\Users\\*", data));
    ASSERT_TRUE(find.Valid());
    raw = find.Get();
    EXPECT_EQ(data.cFileName, ".");
  }
  WIN32_FIND_DATA data;
  EXPECT_FALSE(FindNextFile(raw, data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(DirectoryExists("c:\\users\\alice\\"));
  EXPECT_TRUE(FileExists("C:\\Users\\Alice\\ntuser.dat"));
}

// --- Changes ---------------------------------------------------------------------------------

TEST_F(ImageFileSystemTest, MoveRenamesAndReplacesOnlyWhenAsked) {
  ASSERT_TRUE(files_->Move("C:\\data\\b.txt", "C:\\Users\\Moved.txt", 0));
  EXPECT_FALSE(fs::exists(Host("Data/b.txt")));
  EXPECT_EQ(ReadHost(Host("Users/Moved.txt")), "abc");

  EXPECT_FALSE(files_->Move("C:\\Data\\A.txt", "C:\\users\\moved.TXT", 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(ReadHost(Host("Data/A.txt")), "0123456789");
  EXPECT_EQ(ReadHost(Host("Users/Moved.txt")), "abc");

  ASSERT_TRUE(files_->Move("C:\\Data\\A.txt", "C:\\users\\moved.TXT", MOVEFILE_REPLACE_EXISTING));
  EXPECT_FALSE(fs::exists(Host("Data/A.txt")));
  EXPECT_EQ(ReadHost(Host("Users/Moved.txt")), "0123456789"); // replaced, not a case twin
  EXPECT_FALSE(fs::exists(Host("Users/moved.TXT")));

  EXPECT_FALSE(files_->Move("C:\\Data\\gone.txt", "C:\\x.txt", 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(files_->Move("C:\\Data\\noext", "C:\\Missing\\x", 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  ASSERT_TRUE(files_->Move("C:\\Data\\sub", "C:\\Users\\Sub2", 0)); // folders move too
  EXPECT_TRUE(fs::is_directory(Host("Users/Sub2")));
}

TEST_F(ImageFileSystemTest, MoveCanChangeOnlyTheCase) {
  ASSERT_TRUE(files_->Move("C:\\Data\\A.txt", "C:\\Data\\a.TXT", 0));
  EXPECT_EQ(ReadHost(Host("Data/a.TXT")), "0123456789");
  EXPECT_FALSE(fs::exists(Host("Data/A.txt")));
}

TEST_F(ImageFileSystemTest, CopyKeepsTheTargetUnlessAllowedAndNeverCopiesOntoItself) {
  const timespec times[2] = {{1600000000, 0}, {1500000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, Host("Data/A.txt").c_str(), times, 0), 0);
  ASSERT_TRUE(files_->Copy("C:\\Data\\A.txt", "C:\\Users\\Copy.txt", true));
  EXPECT_EQ(ReadHost(Host("Users/Copy.txt")), "0123456789");
  EXPECT_EQ(ReadHost(Host("Data/A.txt")), "0123456789");
  struct stat st {};
  ASSERT_EQ(stat(Host("Users/Copy.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1500000000); // Windows keeps the last write time

  EXPECT_FALSE(files_->Copy("C:\\Data\\b.txt", "C:\\users\\COPY.TXT", true));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_EQ(ReadHost(Host("Users/Copy.txt")), "0123456789");

  ASSERT_TRUE(files_->Copy("C:\\Data\\b.txt", "C:\\users\\COPY.TXT", false));
  EXPECT_EQ(ReadHost(Host("Users/Copy.txt")), "abc");
  EXPECT_FALSE(fs::exists(Host("Users/COPY.TXT")));

  EXPECT_FALSE(files_->Copy("C:\\Data\\A.txt", "C:\\DATA\\a.txt", false));
  EXPECT_EQ(ReadHost(Host("Data/A.txt")), "0123456789");
  EXPECT_FALSE(files_->Copy("C:\\Data\\sub", "C:\\Data\\sub2", false));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  // No temporary file is left behind.
  EXPECT_EQ(List(*files_, "C:\\Users\\*"), (TNames{".", "..", "Alice", "Copy.txt"}));
}

TEST_F(ImageFileSystemTest, DeleteRemovesFilesOnly) {
  ASSERT_TRUE(files_->Delete("c:\\data\\B.TXT"));
  EXPECT_FALSE(fs::exists(Host("Data/b.txt")));
  EXPECT_FALSE(files_->Delete("C:\\Data\\b.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(files_->Delete("C:\\Data\\sub"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(fs::is_directory(Host("Data/sub")));
}

TEST_F(ImageFileSystemTest, CreateAndRemoveDirectory) {
  ASSERT_TRUE(files_->MakeFolder("C:\\data\\New Folder"));
  EXPECT_TRUE(fs::is_directory(Host("Data/New Folder"))); // keeps the case it was given
  EXPECT_FALSE(files_->MakeFolder("C:\\DATA\\new folder"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(files_->MakeFolder("C:\\Missing\\Child"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

  EXPECT_FALSE(files_->RemoveFolder("C:\\Users"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
  EXPECT_FALSE(files_->RemoveFolder("C:\\Data\\A.txt"));
  EXPECT_TRUE(fs::exists(Host("Data/A.txt")));
  EXPECT_FALSE(files_->RemoveFolder("C:\\"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  ASSERT_TRUE(files_->RemoveFolder("C:\\Data\\new folder\\"));
  EXPECT_FALSE(fs::exists(Host("Data/New Folder")));
}

TEST_F(ImageFileSystemTest, ReadOnlyAttributeProtectsTheFileUntilCleared) {
  ASSERT_TRUE(files_->SetAttributes("C:\\Data\\A.txt", FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(files_->Attributes("C:\\Data\\A.txt"),
            FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
  struct stat st {};
  ASSERT_EQ(stat(Host("Data/A.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);

  EXPECT_FALSE(files_->WriteWhole("C:\\Data\\A.txt", "x"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(files_->Delete("C:\\Data\\A.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(files_->Move("C:\\Data\\b.txt", "C:\\Data\\A.txt", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(ReadHost(Host("Data/A.txt")), "0123456789");

  ASSERT_TRUE(files_->SetAttributes("C:\\Data\\A.txt", FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(files_->Attributes("C:\\Data\\A.txt"), FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_TRUE(files_->WriteWhole("C:\\Data\\A.txt", "x"));
  EXPECT_TRUE(files_->Delete("C:\\Data\\A.txt"));
}

TEST_F(ImageFileSystemTest, WriteCreatesOrTruncatesAndReportsFailures) {
  ASSERT_TRUE(files_->WriteWhole("C:\\data\\A.TXT", "short"));
  EXPECT_EQ(ReadHost(Host("Data/A.txt")), "short");
  ASSERT_TRUE(files_->WriteWhole("C:\\users\\alice\\New.Dat", std::string("a\0b", 3)));
  EXPECT_EQ(ReadHost(Host("Users/Alice/New.Dat")), std::string("a\0b", 3));

  EXPECT_FALSE(files_->WriteWhole("C:\\Missing\\x.txt", "x"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(files_->WriteWhole("C:\\Data\\sub", "x"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(files_->WriteWhole("Q:\\x.txt", "x"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(ImageFileSystemTest, WriteIntoReadOnlyFolderFails) {
  if (geteuid() == 0)
    GTEST_SKIP() << "running as root: folder permissions do not stop root";
  ASSERT_EQ(chmod(Host("Data/sub").c_str(), 0555), 0);
  EXPECT_FALSE(files_->WriteWhole("C:\\Data\\sub\\x.txt", "x"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(fs::exists(Host("Data/sub/x.txt")));
  chmod(Host("Data/sub").c_str(), 0755);
}

TEST_F(ImageFileSystemTest, ReadRefusesFoldersAndDevices) {
  std::string data = "stale";
  EXPECT_FALSE(files_->ReadWhole("C:\\Data\\sub", data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(data.empty());
  EXPECT_FALSE(files_->ReadWhole("C:\\Data\\none.txt", data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  // A pipe or a device would block or never end.
  ASSERT_EQ(mkfifo(Host("Data/pipe").c_str(), 0644), 0);
  EXPECT_FALSE(files_->ReadWhole("C:\\Data\\pipe", data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  config_.drives['P'] = "/proc";
  config_.drives['V'] = "/dev";
  TImageFileSystem host(config_);
  EXPECT_FALSE(host.ReadWhole("V:\\zero", data));
  // Files that report size 0 but have content are read to their end.
  ASSERT_TRUE(host.ReadWhole("P:\\self\\status", data));
  EXPECT_NE(data.find("Name:"), std::string::npos);
}

} // namespace

// --- The image cannot reach the host ---------------------------------------------------------

namespace {

// Files outside the image that nothing may read, change or remove, and links in the image that
// lead to them in every way a link can.
class ImageContainmentTest : public ImageFileSystemTest {
protected:
  ImageContainmentTest() {
    outside_ = tmp_.Path() + "/outside";
    fs::create_directories(outside_ + "/dir");
    std::ofstream(outside_ + "/canary.txt") << "canary";
    std::ofstream(outside_ + "/dir/inner.txt") << "inner";
    struct stat st {};
    stat((outside_ + "/canary.txt").c_str(), &st);
    canaryMode_ = st.st_mode;
    fs::create_directories(Host("Links"));
    Link(outside_ + "/canary.txt", "abs");             // absolute host path
    Link("../../outside/canary.txt", "rel");           // climbs above the image root
    Link("../../../../../../../../../../../..", "up"); // far above
    Link(outside_ + "/dir", "absdir");                 // a folder outside
    Link("/", "root");                                 // the drive's root, not the host's
    Link("/Data/A.txt", "inner");                      // absolute, as the drive sees it
    Link("../Data", "data");                           // relative, inside
    Link("loop2", "loop1");
    Link("loop1", "loop2");
    Link(outside_ + "/missing.txt", "dangling");
  }
  void Link(const std::string& target, const std::string& name) {
    fs::create_symlink(target, Host("Links/" + name));
  }
  // The canaries as they were made, and nothing new beside them.
  void ExpectOutsideUntouched() {
    EXPECT_EQ(ReadHost(outside_ + "/canary.txt"), "canary");
    EXPECT_EQ(ReadHost(outside_ + "/dir/inner.txt"), "inner");
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(outside_))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (TNames{"canary.txt", "dir", "inner.txt"}));
    struct stat st {};
    ASSERT_EQ(stat((outside_ + "/canary.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode, canaryMode_);
  }
  std::string outside_;
  mode_t canaryMode_ = 0;
};

TEST_F(ImageContainmentTest, LinksResolveInsideTheDrive) {
  std::string data;
  ASSERT_TRUE(files_->ReadWhole("C:\\Links\\inner", data));
  EXPECT_EQ(data, "0123456789");
  for (const std::string path : {"C:\\Links\\data\\b.txt", "C:\\links\\DATA\\b.txt",
                                 "C:\\Links\\root\\Data\\b.txt", "C:\\LINKS\\ROOT\\DATA\\B.TXT",
                                 "C:\\Links\\up\\Data\\b.txt", "C:\\links\\UP\\data\\b.txt"}) {
    data.clear();
    ASSERT_TRUE(files_->ReadWhole(path, data)) << path;
    EXPECT_EQ(data, "abc") << path;
  }
  EXPECT_EQ(files_->HostPath("C:\\Links\\data\\b.txt"), Host("Data/b.txt"));
  EXPECT_EQ(files_->Attributes("C:\\Links\\inner"),
            FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT);
  EXPECT_EQ(files_->Attributes("C:\\Links\\data"),
            FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
  // A link to the host's copy of the same path reaches the image's copy, if any.
  fs::create_directories(Host(outside_.substr(1)));
  std::ofstream(Host(outside_.substr(1) + "/canary.txt")) << "image's own";
  ASSERT_TRUE(files_->ReadWhole("C:\\Links\\abs", data));
  EXPECT_EQ(data, "image's own");
}

TEST_F(ImageContainmentTest, NoOperationReachesTheHost) {
  // The exact spelling is resolved by the host in one call where it can; another letter case
  // takes the walk one folder at a time. Both keep to the drive.
  for (const std::string links : {"C:\\Links\\", "C:\\LINKS\\"})
    for (const std::string name : {"abs", "rel", "absdir", "loop1", "dangling"}) {
      SCOPED_TRACE(links + name);
      std::string data;
      EXPECT_FALSE(files_->ReadWhole(links + name, data));
      EXPECT_FALSE(files_->ReadWhole(links + name + "\\inner.txt", data));
      EXPECT_FALSE(files_->WriteWhole(links + name, "attack"));
      EXPECT_FALSE(files_->WriteWhole(links + name + "\\inner.txt", "attack"));
      EXPECT_FALSE(files_->WriteWhole(links + name, "attack", CREATE_NEW));
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
      EXPECT_FALSE(files_->SetAttributes(links + name, FILE_ATTRIBUTE_READONLY));
      EXPECT_FALSE(files_->Delete(links + name + "\\inner.txt"));
      EXPECT_FALSE(files_->Copy(links + name, "C:\\Data\\copy.txt", false));
      EXPECT_FALSE(files_->Copy("C:\\Data\\b.txt", links + name + "\\inner.txt", false));
      WIN32_FIND_DATA find;
      EXPECT_EQ(files_->FindFirst(links + name + "\\*", find), INVALID_HANDLE_VALUE);
      const std::string host = files_->HostPath(links + name);
      EXPECT_TRUE(host.empty() || host.starts_with(root_ + "/")) << host;
    }
  std::string data;
  EXPECT_FALSE(files_->ReadWhole("C:\\Links\\loop1", data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANT_RESOLVE_FILENAME));
  // Replacing, moving or deleting a link changes the link, never what it names.
  ASSERT_TRUE(files_->Copy("C:\\Data\\b.txt", "C:\\Links\\abs", false));
  ASSERT_TRUE(files_->WriteWhole("C:\\Data\\new.txt", "new"));
  ASSERT_TRUE(files_->Replace("C:\\Links\\rel", "C:\\Data\\new.txt"));
  ASSERT_TRUE(files_->Move("C:\\Data\\A.txt", "C:\\Links\\dangling", MOVEFILE_REPLACE_EXISTING));
  ASSERT_TRUE(files_->Delete("C:\\Links\\loop1"));
  ASSERT_TRUE(files_->Delete("C:\\Links\\absdir")); // leads nowhere in the image: a file link
  ASSERT_TRUE(files_->RemoveFolder("C:\\Links\\data"));
  EXPECT_TRUE(fs::exists(Host("Data/b.txt")));
  EXPECT_EQ(ReadHost(Host("Links/abs")), "abc");
  ExpectOutsideUntouched();
}

TEST_F(ImageFileSystemTest, AFileInUseIsNeitherDeletedNorReplaced) {
  for (const quillon::kit::TFileHolder::TKind kind :
       {quillon::kit::TFileHolder::RecordLock, quillon::kit::TFileHolder::WholeFileLock}) {
    SCOPED_TRACE(kind);
    ASSERT_TRUE(files_->WriteWhole("C:\\Data\\store.db", "store"));
    ASSERT_TRUE(files_->WriteWhole("C:\\Data\\new.db", "new"));
    {
      const quillon::kit::TFileHolder browser(Host("Data/store.db"), kind);
      ASSERT_TRUE(browser.Holds());
      const auto expectInUse = [](BOOL ok) {
        EXPECT_FALSE(ok);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
      };
      expectInUse(files_->Delete("C:\\Data\\store.db"));
      expectInUse(files_->Replace("C:\\Data\\store.db", "C:\\Data\\new.db"));
      expectInUse(
          files_->Move("C:\\Data\\new.db", "C:\\Data\\store.db", MOVEFILE_REPLACE_EXISTING));
      expectInUse(files_->Move("C:\\Data\\store.db", "C:\\Data\\moved.db", 0));
      expectInUse(files_->WriteWhole("C:\\Data\\store.db", "x"));
      expectInUse(files_->Copy("C:\\Data\\new.db", "C:\\Data\\store.db", false));
      std::string data;
      EXPECT_TRUE(files_->ReadWhole("C:\\Data\\store.db", data)); // reading is fine
      EXPECT_EQ(ReadHost(Host("Data/store.db")), "store");
    }
    EXPECT_TRUE(files_->Replace("C:\\Data\\store.db", "C:\\Data\\new.db"));
    EXPECT_TRUE(files_->Delete("C:\\Data\\store.db"));
  }
}

TEST_F(ImageFileSystemTest, ReplaceKeepsTheStoresPermissionsAndOwner) {
  Put("Data/store.db", "old");
  ASSERT_EQ(chmod(Host("Data/store.db").c_str(), 0640), 0);
  if (geteuid() == 0) {
    ASSERT_EQ(chown(Host("Data/store.db").c_str(), 1234, 5678), 0);
  }
  struct stat before {};
  ASSERT_EQ(stat(Host("Data/store.db").c_str(), &before), 0);
  ASSERT_TRUE(files_->WriteWhole("C:\\Data\\store.db.tmp", "new", CREATE_NEW));
  ASSERT_TRUE(files_->Replace("C:\\Data\\STORE.db", "C:\\Data\\store.db.tmp"));
  struct stat after {};
  ASSERT_EQ(stat(Host("Data/store.db").c_str(), &after), 0);
  EXPECT_EQ(ReadHost(Host("Data/store.db")), "new");
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
  EXPECT_FALSE(fs::exists(Host("Data/store.db.tmp")));
  // A read-only store is not replaced, not even by root.
  ASSERT_EQ(chmod(Host("Data/store.db").c_str(), 0444), 0);
  ASSERT_TRUE(files_->WriteWhole("C:\\Data\\store.db.tmp", "newer", CREATE_NEW));
  EXPECT_FALSE(files_->Replace("C:\\Data\\store.db", "C:\\Data\\store.db.tmp"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(ReadHost(Host("Data/store.db")), "new");
  EXPECT_FALSE(files_->Replace("C:\\Data\\none.db", "C:\\Data\\store.db.tmp"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

} // namespace
