#pragma once
// What the programs ask of the system they run on: the Windows system a session shows, the
// backend that reaches the user's own files, the running program's file and whether output goes
// to a terminal. A Linux build shows a Windows system image (HostSystemImage.cpp); a Windows build
// shows the running system itself (HostSystemNative.cpp).

#include "session/CommandLine.h"
#include "winapi/Services.h"

#include <memory>
#include <string>
#include <vector>

namespace quillon {

// The backend of the Windows system the options name: an image (or the demo image beside the
// program) on Linux, the running system on Windows. What cannot be used raises EUsageError with
// the one line to print.
std::shared_ptr<winapi::TWinApi> OpenSystem(const TImageOptions& options);

// Which system the program shows, in words: "/mnt/windows", "the demo image", "this computer".
std::string ShownSystemText(const TImageOptions& options);

// Whose data of which system the program shows: "alice on /mnt/windows". Asks the session's
// backend for the user, so it runs inside its scope.
std::string SessionText(const TImageOptions& options);

// What the usage texts say of the system and the options that choose it.
struct TSystemUsage {
  const char* synopsis; // the options in the usage line, with a trailing space (or empty)
  const char* system;   // what is shown: "a Windows system image"
  const char* options;  // the "Options:" block
};
const TSystemUsage& SystemUsage();

// The backend that reaches the files the user names himself (THostFiles).
std::shared_ptr<winapi::TWinApi> HostFilesApi();

// The arguments after the program's name, as UTF-8. (Windows hands main() its arguments in the
// ANSI code page, which cannot hold every file name; they are read from the wide command line.)
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Makes a console show the UTF-8 the programs write (a Windows console otherwise reads it in its
// OEM code page); a file or a pipe gets the same bytes either way.
void PrepareTerminalOutput();

// The running executable as a host path; empty when the system does not say.
std::string RunningProgramPath();

// Whether standard output is a terminal (a person reads it) rather than a file or a pipe.
bool StandardOutputIsTerminal();

} // namespace quillon
