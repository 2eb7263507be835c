#pragma once
// The Windows system under test, for behaviour tests whose bodies run unchanged against both
// backends: on Linux a fresh small image (SystemImage.cpp), on Windows the running system itself
// (SystemNative.cpp). Either way it is installed as the process-wide backend with the process
// set-up, as a front end does before it creates the browser manager.
//
// A test reaches the system through winapi only. What winapi offers no way to do the same on both
// (putting entries into the current user's URL cache) is the platform part's. Everything a test
// makes through the fixture is removed again when it ends, since the native tests share one
// system.

#include "backend/SystemBackend.h"
#include "winapi/WinApi.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace quillon::test {

class SystemTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  bool IsWine() const { return backend_->IsWine(); }

  // The current user's special folder; fails the test when the system knows none.
  std::string Folder(int csidl);
  // Makes folder and its missing parents; the ones it made are removed after the test with
  // everything in them.
  std::string MakeFolder(const std::string& folder);
  // A fresh folder for the test below the user's application data.
  std::string Scratch();
  // A fresh key below root's Software (made in the 32-bit view, as the program opens keys without
  // a view flag), removed after the test with its subkeys.
  std::string ScratchKey(winapi::HKEY root = winapi::HKEY_CURRENT_USER);
  // Commits the entries; they leave the cache after the test.
  void AddUrlCacheEntries(const std::vector<TUrlCacheSeed>& seeds);
  // Writes a whole file through winapi; fails the test when it cannot.
  void WriteFile(const std::string& path, const std::string& content);

private:
  std::unique_ptr<TSystemBackend> backend_;
  std::vector<std::string> madeFolders_;
  std::vector<std::pair<winapi::HKEY, std::string>> madeKeys_;
  std::vector<std::string> seededUrls_;
};

// Removes a folder with everything in it, through winapi; false when something stayed.
bool RemoveTree(const std::string& folder);
// Removes a key with all its subkeys, through winapi (in the 32-bit view).
bool RemoveKeyTree(winapi::HKEY root, const std::string& subKey);

} // namespace quillon::test
