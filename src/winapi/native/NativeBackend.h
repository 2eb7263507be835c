#pragma once
// The native backend: the Windows services served by the running Windows system itself. Only its
// own files include <windows.h>; this header, like Services.h, names nothing that header defines.
//
// Every service calls the wide ("W") Win32 functions and converts the program's UTF-8 strings,
// so no text depends on the system's ANSI code page.

#include "winapi/Services.h"

#include <memory>

namespace quillon::winapi::native {

// The thread's last error as the system keeps it (GetLastError/SetLastError).
std::shared_ptr<TLastError> NativeLastError();
// Files and folders through kernel32, paths as Windows takes them.
std::shared_ptr<TFileService> NativeFiles();
// The live registry through advapi32. Without a view flag a key is opened in the 32-bit view,
// which is where a 32-bit program (and the image backend) finds the browsers' keys.
std::shared_ptr<TRegistryService> NativeRegistry();
// The running user, SIDs, loadable libraries and the user's shell folders.
std::shared_ptr<TAccountService> NativeAccounts();
// The running user's WinINet URL cache.
std::shared_ptr<TUrlCacheService> NativeUrlCache();
// Time zone, local time, text order and the user's locale through the Win32 calls.
std::shared_ptr<TTimeLocaleService> NativeTimeLocale();

// Every native service composed into one backend, for start-up to install with SetWinApi.
std::shared_ptr<TWinApi> NativeWinApi();

} // namespace quillon::winapi::native
