// PLACEHOLDER: replaced by the real hive-backed registry.
#include "winapi/image/ImageRegistry.h"
namespace quillon::winapi::image {
struct TImageRegistry::TImpl {};
TImageRegistry::TImageRegistry(TImageFileSystem&, const TImageConfig&) {}
TImageRegistry::~TImageRegistry() = default;
LONG TImageRegistry::RegOpenKeyEx(HKEY, const std::string&, DWORD, REGSAM, HKEY&) { return ERROR_FILE_NOT_FOUND; }
LONG TImageRegistry::RegCreateKeyEx(HKEY, const std::string&, REGSAM, HKEY&, DWORD*) { return ERROR_ACCESS_DENIED; }
LONG TImageRegistry::RegCloseKey(HKEY) { return ERROR_INVALID_HANDLE; }
LONG TImageRegistry::RegQueryValueEx(HKEY, const std::string&, DWORD*, std::string*) { return ERROR_INVALID_HANDLE; }
LONG TImageRegistry::RegSetValueEx(HKEY, const std::string&, DWORD, std::string_view) { return ERROR_INVALID_HANDLE; }
LONG TImageRegistry::RegDeleteValue(HKEY, const std::string&) { return ERROR_INVALID_HANDLE; }
LONG TImageRegistry::RegDeleteKey(HKEY, const std::string&) { return ERROR_INVALID_HANDLE; }
LONG TImageRegistry::RegEnumKeyEx(HKEY, DWORD, std::string&) { return ERROR_INVALID_HANDLE; }
LONG TImageRegistry::RegEnumValue(HKEY, DWORD, std::string&) { return ERROR_INVALID_HANDLE; }
std::string TImageRegistry::CurrentUserSid() const { return {}; }
std::string TImageRegistry::ProfileFolderOfSid(const std::string&) const { return {}; }
} // namespace quillon::winapi::image
