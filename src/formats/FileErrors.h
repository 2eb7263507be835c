#pragma once
// The error a reader raises when its file cannot be opened or read. Readers of browser files
// never raise on bad content; they raise only this, so callers know the file itself was the
// problem.

#include "winapi/WinApi.h"

#include <stdexcept>
#include <string>

namespace quillon {

class EFOpenError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Raises EFOpenError for fileName with the system's text for the last error code.
[[noreturn]] inline void RaiseFileOpenError(const std::string& fileName) {
  throw EFOpenError("Cannot open file \"" + fileName + "\". " +
                    winapi::FormatMessage(winapi::GetLastError()));
}

} // namespace quillon
