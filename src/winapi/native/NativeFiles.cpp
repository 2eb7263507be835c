// The native file service: each method is the wide Win32 call it stands for, with the program's
// UTF-8 paths converted. Windows itself applies the path rules (case, links, locks, read-only
// files) that the image backend reproduces, so little is left to do here.

#include <windows.h>

#include "winapi/native/NativeBackend.h"
#include "winapi/native/NativeHandle.h"
#include "winapi/native/NativeText.h"

#include <algorithm>
#include <memory>
#include <string>

namespace quillon::winapi::native {

namespace {

// Closing a handle may overwrite the last error of the call that failed before it.
bool FailAfterClose(TFileHandle& file) {
  const DWORD error = ::GetLastError();
  file.reset();
  ::SetLastError(error);
  return false;
}

TFileTime FromNative(const FILETIME& t) {
  return TFileTime{t.dwLowDateTime, t.dwHighDateTime};
}

void FromNative(const WIN32_FIND_DATAW& in, TFindData& out) {
  out.dwFileAttributes = in.dwFileAttributes;
  out.ftCreationTime = FromNative(in.ftCreationTime);
  out.ftLastAccessTime = FromNative(in.ftLastAccessTime);
  out.ftLastWriteTime = FromNative(in.ftLastWriteTime);
  out.nFileSize = (static_cast<std::uint64_t>(in.nFileSizeHigh) << 32) | in.nFileSizeLow;
  out.cFileName = Utf8Terminated(in.cFileName, MAX_PATH);
}

// Find handles and our handle values are the same bits; INVALID_HANDLE_VALUE maps to
// kInvalidHandle.
THandleValue ToValue(HANDLE h) {
  return reinterpret_cast<THandleValue>(h);
}
HANDLE ToHandle(THandleValue v) {
  return reinterpret_cast<HANDLE>(v);
}

// Calls that fill a caller's buffer and answer the length they need when it is too small.
template <class Call> std::string GrowingText(Call call) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    const DWORD length = call(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0)
      return {};
    if (length < buffer.size())
      return Utf8(std::wstring_view(buffer.data(), length));
    buffer.assign(std::max<std::size_t>(buffer.size() * 2, length + 1), L'\0');
  }
  return {};
}

std::string FullPath(const std::string& path) {
  const std::wstring wide = Wide(path);
  if (wide.empty() || path.find('\0') != std::string::npos)
    return {};
  return GrowingText([&](wchar_t* out, DWORD size) {
    return ::GetFullPathNameW(wide.c_str(), size, out, nullptr);
  });
}

// A NUL inside a path would end it early at the call, which would then act on a shorter path (a
// parent folder): such a path names nothing.
bool PathArg(const std::string& path, std::wstring& wide) {
  if (path.find('\0') != std::string::npos) {
    ::SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  wide = Wide(path);
  return true;
}

// Windows refuses to write over a read-only file. Asked here as well, so that a system that lets
// an administrator write it anyway (Wine run as root) keeps the promise too.
bool IsReadOnlyFile(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) !=
          FILE_ATTRIBUTE_READONLY)
    return false;
  ::SetLastError(ERROR_ACCESS_DENIED);
  return true;
}

class TNativeFiles final : public TFileService {
public:
  // A link reports what it leads to, marked as a link, as the program expects of every backend;
  // GetFileAttributes alone would describe the link itself.
  std::uint32_t Attributes(const std::string& path) override {
    std::wstring wide;
    if (!PathArg(path, wide))
      return INVALID_FILE_ATTRIBUTES;
    const DWORD own = ::GetFileAttributesW(wide.c_str());
    if (own == INVALID_FILE_ATTRIBUTES || (own & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
      return own;
    const TFileHandle target = Owned(::CreateFileW(
        wide.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!target || !::GetFileInformationByHandle(target.get(), &info))
      return INVALID_FILE_ATTRIBUTES;
    return info.dwFileAttributes | FILE_ATTRIBUTE_REPARSE_POINT;
  }

  THandleValue FindFirst(const std::string& mask, TFindData& data) override {
    std::wstring wide;
    if (!PathArg(mask, wide))
      return kInvalidHandle;
    WIN32_FIND_DATAW found{};
    const HANDLE find = ::FindFirstFileW(wide.c_str(), &found);
    if (find != INVALID_HANDLE_VALUE)
      FromNative(found, data);
    return ToValue(find);
  }

  bool FindNext(THandleValue find, TFindData& data) override {
    WIN32_FIND_DATAW found{};
    if (!::FindNextFileW(ToHandle(find), &found))
      return false;
    FromNative(found, data);
    return true;
  }

  bool FindEnd(THandleValue find) override { return ::FindClose(ToHandle(find)); }

  bool Delete(const std::string& path) override {
    std::wstring wide;
    return PathArg(path, wide) && ::DeleteFileW(wide.c_str());
  }

  bool MakeFolder(const std::string& path) override {
    std::wstring wide;
    return PathArg(path, wide) && ::CreateDirectoryW(wide.c_str(), nullptr);
  }

  bool RemoveFolder(const std::string& path) override {
    std::wstring wide;
    return PathArg(path, wide) && ::RemoveDirectoryW(wide.c_str());
  }

  bool Move(const std::string& existing, const std::string& newName, std::uint32_t flags) override {
    std::wstring from, to;
    return PathArg(existing, from) && PathArg(newName, to) &&
           ((flags & MOVEFILE_REPLACE_EXISTING) == 0 || !IsReadOnlyFile(to)) &&
           ::MoveFileExW(from.c_str(), to.c_str(), flags);
  }

  bool Copy(const std::string& existing, const std::string& newName, bool failIfExists) override {
    std::wstring from, to;
    return PathArg(existing, from) && PathArg(newName, to) &&
           ::CopyFileW(from.c_str(), to.c_str(), failIfExists);
  }

  bool SetAttributes(const std::string& path, std::uint32_t attributes) override {
    std::wstring wide;
    return PathArg(path, wide) && ::SetFileAttributesW(wide.c_str(), attributes);
  }

  // ReplaceFile keeps the replaced file's attributes, security and streams, so a rewritten store
  // stays the browser's.
  bool Replace(const std::string& replaced, const std::string& replacement) override {
    std::wstring target, source;
    return PathArg(replaced, target) && PathArg(replacement, source) &&
           ::ReplaceFileW(target.c_str(), source.c_str(), nullptr, 0, nullptr, nullptr);
  }

  // Shared with every kind of access, so a browser that has its store open keeps working and a
  // store it holds open can still be read.
  bool ReadWhole(const std::string& path, std::string& data) override {
    std::wstring wide;
    if (!PathArg(path, wide))
      return false;
    TFileHandle file = Owned(::CreateFileW(
        wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
      return false;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size))
      return FailAfterClose(file);
    if (size.QuadPart < 0 || static_cast<std::uint64_t>(size.QuadPart) > data.max_size()) {
      ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return FailAfterClose(file);
    }
    // The size only sizes the buffer: a file that grows or shrinks meanwhile is read to its end,
    // what lies past the size through a small block so that the usual last read costs nothing.
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t filled = 0;
    constexpr std::size_t kChunk = 1u << 24;
    char tail[1u << 16];
    while (true) {
      const bool inside = filled < bytes.size();
      char* const to = inside ? bytes.data() + filled : tail;
      const DWORD want =
          static_cast<DWORD>(inside ? std::min(bytes.size() - filled, kChunk) : sizeof tail);
      DWORD got = 0;
      if (!::ReadFile(file.get(), to, want, &got, nullptr))
        return FailAfterClose(file);
      if (got == 0)
        break;
      if (!inside)
        bytes.append(tail, got);
      filled += got;
    }
    bytes.resize(filled);
    data = std::move(bytes);
    return true;
  }

  // A new file is never made through a link: CREATE_NEW fails on any existing name, and opening
  // the reparse point itself keeps the call from following one made meanwhile.
  bool WriteWhole(const std::string& path, std::string_view data,
                  std::uint32_t creationDisposition) override {
    const DWORD flags = FILE_ATTRIBUTE_NORMAL |
                        (creationDisposition == CREATE_NEW ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    std::wstring wide;
    if (!PathArg(path, wide) || (creationDisposition == CREATE_ALWAYS && IsReadOnlyFile(wide)))
      return false;
    TFileHandle file = Owned(::CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr,
                                           creationDisposition, flags, nullptr));
    if (!file)
      return false;
    constexpr std::size_t kChunk = 1u << 24;
    while (!data.empty()) {
      const DWORD want = static_cast<DWORD>(std::min(data.size(), kChunk));
      DWORD written = 0;
      if (!::WriteFile(file.get(), data.data(), want, &written, nullptr))
        return FailAfterClose(file);
      if (written == 0) {
        ::SetLastError(ERROR_WRITE_FAULT);
        return FailAfterClose(file);
      }
      data.remove_prefix(written);
    }
    // Stores are written beside and then put in place: the content must be on disk first.
    if (!::FlushFileBuffers(file.get()))
      return FailAfterClose(file);
    return true;
  }

  // The system opens files by their Windows path itself; only a relative path is made whole.
  std::string HostPath(const std::string& path) override { return FullPath(path); }
  std::string WindowsPathFromHost(const std::string& hostPath) override {
    return FullPath(hostPath);
  }

  // GetDriveType wants the root with its backslash.
  std::uint32_t DriveType(const std::string& rootPath) override {
    std::string root = rootPath;
    if (root.find('\0') != std::string::npos)
      return DRIVE_NO_ROOT_DIR;
    if (root.size() == 2 && root[1] == ':')
      root += '\\';
    return ::GetDriveTypeW(Wide(root).c_str());
  }

  std::string ModuleFileName() override {
    return GrowingText([](wchar_t* out, DWORD size) {
      // A truncated name fills the whole buffer; answering its size asks for a larger one.
      const DWORD length = ::GetModuleFileNameW(nullptr, out, size);
      return length == size ? size : length;
    });
  }
};

} // namespace

std::shared_ptr<TFileService> NativeFiles() {
  return std::make_shared<TNativeFiles>();
}

} // namespace quillon::winapi::native
