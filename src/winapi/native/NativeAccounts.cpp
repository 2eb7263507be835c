// The native account service: the running user, SIDs through advapi32, libraries through the
// loader and the user's shell folders through shell32.

#include <windows.h>

#include <shlobj.h>

#include "winapi/native/NativeBackend.h"
#include "winapi/native/NativeText.h"

#include <memory>
#include <string>
#include <vector>

namespace quillon::winapi::native {

namespace {

struct TLibraryFreer {
  void operator()(HMODULE m) const { ::FreeLibrary(m); }
};
using TLibrary = std::unique_ptr<std::remove_pointer_t<HMODULE>, TLibraryFreer>;

// Never from the working folder, where anyone could have put a library of the same name: the
// program's own folder and the system's.
TLibrary Load(const std::string& name) {
  if (name.empty() || name.find('\0') != std::string::npos) {
    ::SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return TLibrary(::LoadLibraryExW(Wide(name).c_str(), nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS));
}

// A SID travels as its bytes: they must be one whole, valid SID and nothing more.
bool IsWholeSid(const std::string& sid) {
  if (sid.size() < 8 || sid.size() > SECURITY_MAX_SID_SIZE)
    return false;
  const PSID p = const_cast<char*>(sid.data());
  return ::IsValidSid(p) && ::GetLengthSid(p) == sid.size();
}

bool Fail(DWORD code) {
  ::SetLastError(code);
  return false;
}

// The names come back in buffers the first call measures; a name may change in between, so a
// call that still finds its buffer short measures again.
constexpr int kAttempts = 4;

class TNativeAccounts final : public TAccountService {
public:
  bool UserName(std::string& name) override {
    DWORD size = 64;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      std::wstring buffer(size, L'\0');
      if (::GetUserNameW(buffer.data(), &size)) {
        name = Utf8Terminated(buffer.data(), buffer.size());
        return true;
      }
      if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return false;
    }
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }

  bool AccountOfSid(const std::string& systemName, const std::string& sid, std::string& name,
                    std::string& domain) override {
    if (!IsWholeSid(sid))
      return Fail(ERROR_INVALID_SID);
    std::wstring system;
    if (!Argument(systemName, system))
      return Fail(ERROR_INVALID_PARAMETER);
    const PSID p = const_cast<char*>(sid.data());
    DWORD nameSize = 0, domainSize = 0;
    SID_NAME_USE use;
    ::LookupAccountSidW(OrNull(system), p, nullptr, &nameSize, nullptr, &domainSize, &use);
    DWORD error = ::GetLastError();
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      if (error != ERROR_INSUFFICIENT_BUFFER)
        return Fail(error);
      std::wstring nameBuffer(nameSize + 1, L'\0'), domainBuffer(domainSize + 1, L'\0');
      nameSize = static_cast<DWORD>(nameBuffer.size());
      domainSize = static_cast<DWORD>(domainBuffer.size());
      if (::LookupAccountSidW(OrNull(system), p, nameBuffer.data(), &nameSize, domainBuffer.data(),
                              &domainSize, &use)) {
        name = Utf8Terminated(nameBuffer.data(), nameBuffer.size());
        domain = Utf8Terminated(domainBuffer.data(), domainBuffer.size());
        return true;
      }
      error = ::GetLastError();
    }
    return Fail(error);
  }

  bool SidOfAccount(const std::string& systemName, const std::string& accountName, std::string& sid,
                    std::string& domain) override {
    std::wstring system, account;
    if (!Argument(systemName, system) || !Argument(accountName, account))
      return Fail(ERROR_NONE_MAPPED);
    DWORD sidSize = 0, domainSize = 0;
    SID_NAME_USE use;
    ::LookupAccountNameW(OrNull(system), account.c_str(), nullptr, &sidSize, nullptr, &domainSize,
                         &use);
    DWORD error = ::GetLastError();
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      if (error != ERROR_INSUFFICIENT_BUFFER)
        return Fail(error);
      std::vector<BYTE> sidBuffer(sidSize);
      std::wstring domainBuffer(domainSize + 1, L'\0');
      domainSize = static_cast<DWORD>(domainBuffer.size());
      if (::LookupAccountNameW(OrNull(system), account.c_str(), sidBuffer.data(), &sidSize,
                               domainBuffer.data(), &domainSize, &use)) {
        const DWORD length = ::GetLengthSid(sidBuffer.data());
        sid.assign(reinterpret_cast<const char*>(sidBuffer.data()), length);
        domain = Utf8Terminated(domainBuffer.data(), domainBuffer.size());
        return true;
      }
      error = ::GetLastError();
    }
    return Fail(error);
  }

  bool CanLoadLibrary(const std::string& libraryName) override {
    return Load(libraryName) != nullptr;
  }

  bool Exports(const std::string& libraryName, const std::string& functionName) override {
    const TLibrary library = Load(libraryName);
    if (!library)
      return false;
    if (functionName.empty() || functionName.find('\0') != std::string::npos)
      return Fail(ERROR_PROC_NOT_FOUND);
    return ::GetProcAddress(library.get(), functionName.c_str()) != nullptr;
  }

  // The program sees the system as a 32-bit program, as it sees the registry (and the image
  // backend answers): its Program Files is "Program Files (x86)" on a 64-bit system, which is the
  // same folder on a 32-bit one. SHGetSpecialFolderPath sets no error of its own when the folder
  // is unknown.
  bool SpecialFolder(int csidl, std::string& path) override {
    if (csidl == CSIDL_PROGRAM_FILES)
      csidl = CSIDL_PROGRAM_FILESX86;
    wchar_t buffer[MAX_PATH + 1] = {};
    if (!::SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE))
      return Fail(ERROR_FILE_NOT_FOUND);
    path = Utf8Terminated(buffer, MAX_PATH + 1);
    return true;
  }

private:
  static bool Argument(const std::string& text, std::wstring& wide) {
    if (text.find('\0') != std::string::npos)
      return false;
    wide = Wide(text);
    return true;
  }
};

} // namespace

std::shared_ptr<TAccountService> NativeAccounts() {
  return std::make_shared<TNativeAccounts>();
}

} // namespace quillon::winapi::native
