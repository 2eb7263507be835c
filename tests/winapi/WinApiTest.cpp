// The façade: what a system without a service answers, and the last error kept per backend.

#include "winapi/WinApi.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

using namespace quillon::winapi;

namespace {

TEST(WinApiFacade, AServiceABackendLeavesOutAnswersAsAnEmptySystem) {
  const TWinApiScope scope(std::make_shared<TWinApi>());
  std::string text = "unchanged";
  EXPECT_FALSE(ReadWholeFile("C:\\a.txt", text));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetFileAttributes("C:\\"), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(WriteWholeFile("C:\\a.txt", "x"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  HKEY key = 0;
  EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, key), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(GetUserName(text));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  EXPECT_EQ(GetLocaleInfo(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, text), 0);
  EXPECT_EQ(text, "unchanged");
  // UTC and byte order.
  FILETIME local;
  ASSERT_TRUE(FileTimeToLocalFileTime(U64ToFileTime(42), local));
  EXPECT_EQ(FileTimeToU64(local), 42u);
  EXPECT_LT(lstrcmpi("B", "a"), 0);
}

TEST(WinApiFacade, EachBackendKeepsItsOwnLastErrorPerThread) {
  const auto first = std::make_shared<TWinApi>();
  const auto second = std::make_shared<TWinApi>();
  first->lastError->Set(ERROR_ACCESS_DENIED);
  second->lastError->Set(ERROR_SHARING_VIOLATION);
  {
    const TWinApiScope scope(first);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SetLastError(ERROR_DISK_FULL);
  }
  EXPECT_EQ(first->lastError->Get(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_EQ(second->lastError->Get(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  std::thread([&] {
    EXPECT_EQ(first->lastError->Get(), static_cast<DWORD>(ERROR_SUCCESS));
    first->lastError->Set(ERROR_INVALID_NAME);
  }).join();
  EXPECT_EQ(first->lastError->Get(), static_cast<DWORD>(ERROR_DISK_FULL));
}

} // namespace
