// PLACEHOLDER: replaced by the real image file system.
#include "winapi/image/ImageFileSystem.h"
namespace quillon::winapi::image {
struct TImageFileSystem::TFindState {};
TImageFileSystem::TImageFileSystem(const TImageConfig& config) : config_(config) {}
TImageFileSystem::~TImageFileSystem() = default;
DWORD TImageFileSystem::GetFileAttributes(const std::string&) { return INVALID_FILE_ATTRIBUTES; }
HANDLE TImageFileSystem::FindFirstFile(const std::string&, WIN32_FIND_DATA&) { return INVALID_HANDLE_VALUE; }
BOOL TImageFileSystem::FindNextFile(HANDLE, WIN32_FIND_DATA&) { return false; }
BOOL TImageFileSystem::FindClose(HANDLE) { return false; }
BOOL TImageFileSystem::DeleteFile(const std::string&) { return false; }
BOOL TImageFileSystem::CreateDirectory(const std::string&) { return false; }
BOOL TImageFileSystem::RemoveDirectory(const std::string&) { return false; }
BOOL TImageFileSystem::MoveFileEx(const std::string&, const std::string&, DWORD) { return false; }
BOOL TImageFileSystem::CopyFile(const std::string&, const std::string&, BOOL) { return false; }
BOOL TImageFileSystem::SetFileAttributes(const std::string&, DWORD) { return false; }
bool TImageFileSystem::ReadWholeFile(const std::string&, std::string&) { return false; }
bool TImageFileSystem::WriteWholeFile(const std::string&, std::string_view) { return false; }
std::unique_ptr<std::istream> TImageFileSystem::OpenFileStream(const std::string&) { return nullptr; }
std::string TImageFileSystem::HostPath(const std::string&) const { return {}; }
std::string TImageFileSystem::WindowsPathFromHost(const std::string&) const { return {}; }
UINT TImageFileSystem::GetDriveType(const std::string&) const { return DRIVE_NO_ROOT_DIR; }
std::string TImageFileSystem::GetModuleFileName() const { return {}; }
bool MatchesWildcard(std::string_view, std::string_view) { return false; }
} // namespace quillon::winapi::image
