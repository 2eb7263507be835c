#pragma once
// The Win32 calls the Windows tests make themselves, behind plain types: the test bodies include
// our Windows layer, whose names <windows.h> would turn into macros.

#include <cstdint>
#include <string>

namespace quillon::test {

struct TRun {
  std::uint32_t exitCode = 0;
  std::string out, err;
};

// The folder of the running test program, with its trailing "\".
std::string FolderOfTests();

// Runs program (a file beside the test program) with arguments and waits for it; its output
// goes through files, so a large one cannot block it. Line ends come back as "\n" (a Windows
// program writes "\r\n" in text mode).
TRun RunBesideTests(const std::string& program, const std::string& arguments);

// Adds a cookie entry with no file to the running user's URL cache (CommitUrlCacheEntryW).
bool CommitCookieEntry(const std::string& url);
// Whether the running user's URL cache holds an entry for url (GetUrlCacheEntryInfoW).
bool UrlCacheHolds(const std::string& url);

} // namespace quillon::test
