// The Windows build's command line and console, through the Win32 calls themselves (apart from
// HostSystemNative.cpp, whose calls of our Windows layer <windows.h> would turn into macros).

#include <windows.h>

#include <shellapi.h>

#include "session/HostSystem.h"
#include "winapi/native/NativeText.h"

#include <algorithm>
#include <cstdio>
#include <io.h>
#include <memory>

namespace quillon {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int count = 0;
  const std::unique_ptr<LPWSTR, decltype(&::LocalFree)> wide(
      ::CommandLineToArgvW(::GetCommandLineW(), &count), &::LocalFree);
  if (!wide) // the runtime's reading of the same line, in the ANSI code page
    return std::vector<std::string>(argv + std::min(argc, 1), argv + argc);
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i)
    arguments.push_back(winapi::native::Utf8(wide.get()[i]));
  return arguments;
}

void PrepareTerminalOutput() {
  ::SetConsoleOutputCP(CP_UTF8);
}

bool StandardOutputIsTerminal() {
  return _isatty(_fileno(stdout)) != 0;
}

} // namespace quillon
