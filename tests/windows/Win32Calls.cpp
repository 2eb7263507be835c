#include <windows.h>
#include <wininet.h>

#include "winapi/native/NativeBackend.h"
#include "winapi/native/NativeHandle.h"
#include "winapi/native/NativeText.h"
#include "windows/Win32Calls.h"

#include <stdexcept>

namespace quillon::test {

namespace {

using winapi::native::Owned;
using winapi::native::TFileHandle;
using winapi::native::Wide;

std::string ReadBack(const std::wstring& path) {
  std::string text;
  const TFileHandle file = Owned(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
  char buffer[4096];
  DWORD got = 0;
  while (file && ::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
    text.append(buffer, got);
  for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
    text.erase(at, 1);
  return text;
}

} // namespace

std::string FolderOfTests() {
  const std::string path = winapi::native::NativeFiles()->ModuleFileName();
  return path.substr(0, path.find_last_of('\\') + 1);
}

TRun RunBesideTests(const std::string& program, const std::string& arguments) {
  const std::string folder = FolderOfTests();
  const std::wstring outPath = Wide(folder + program + "-out.txt");
  const std::wstring errPath = Wide(folder + program + "-err.txt");
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  TRun run;
  {
    const TFileHandle out = Owned(::CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                                &inherit, CREATE_ALWAYS, 0, nullptr));
    const TFileHandle err = Owned(::CreateFileW(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                                &inherit, CREATE_ALWAYS, 0, nullptr));
    if (!out || !err)
      throw std::runtime_error("cannot create the output files of " + program);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out.get();
    startup.hStdError = err.get();
    std::wstring commandLine = Wide("\"" + folder + program + "\" " + arguments);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                          &startup, &process))
      throw std::runtime_error("cannot start " + program);
    const TFileHandle child(process.hProcess);
    const TFileHandle thread(process.hThread);
    ::WaitForSingleObject(child.get(), INFINITE);
    DWORD exitCode = 0;
    ::GetExitCodeProcess(child.get(), &exitCode);
    run.exitCode = exitCode;
  }
  run.out = ReadBack(outPath);
  run.err = ReadBack(errPath);
  ::DeleteFileW(outPath.c_str());
  ::DeleteFileW(errPath.c_str());
  return run;
}

bool CommitCookieEntry(const std::string& url) {
  return ::CommitUrlCacheEntryW(Wide(url).c_str(), nullptr, FILETIME{}, FILETIME{},
                                COOKIE_CACHE_ENTRY, nullptr, 0, nullptr, nullptr) != FALSE;
}

bool UrlCacheHolds(const std::string& url) {
  DWORD size = 0;
  if (::GetUrlCacheEntryInfoW(Wide(url).c_str(), nullptr, &size))
    return true;
  return ::GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

} // namespace quillon::test
