#pragma once
// An owned kernel handle for the native backend's files. Include after <windows.h>.

#include <memory>

namespace quillon::winapi::native {

struct THandleCloser {
  void operator()(HANDLE h) const { ::CloseHandle(h); }
};
using TFileHandle = std::unique_ptr<void, THandleCloser>;

// CreateFile answers INVALID_HANDLE_VALUE, not null, on failure.
inline TFileHandle Owned(HANDLE h) {
  return TFileHandle(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

} // namespace quillon::winapi::native
