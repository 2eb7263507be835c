#pragma once
// The native backend: the Windows services served by the running Windows system itself. Only its
// own files include <windows.h>; this header, like Services.h, names nothing that header defines.

#include "winapi/Services.h"

#include <memory>

namespace quillon::winapi::native {

// The thread's last error as the system keeps it (GetLastError/SetLastError).
std::shared_ptr<TLastError> NativeLastError();
// Time zone, local time, text order and the user's locale through the Win32 calls.
std::shared_ptr<TTimeLocaleService> NativeTimeLocale();

} // namespace quillon::winapi::native
