// PLACEHOLDER: replaced by the real accounts and shell folders.
#include "winapi/image/ImageAccounts.h"
namespace quillon::winapi::image {
TImageAccounts::TImageAccounts(TImageFileSystem& files, TImageRegistry& registry, const TImageConfig& config)
    : files_(files), registry_(registry), config_(config) {}
BOOL TImageAccounts::GetUserName(std::string&) { return false; }
BOOL TImageAccounts::LookupAccountSid(const std::string&, const SID&, std::string&, std::string&) { return false; }
BOOL TImageAccounts::LookupAccountName(const std::string&, const std::string&, SID&, std::string&) { return false; }
BOOL TImageAccounts::LoadLibrary(const std::string&) { return false; }
BOOL TImageAccounts::GetProcAddress(const std::string&, const std::string&) { return false; }
BOOL TImageAccounts::SHGetSpecialFolderPath(int, std::string&) { return false; }
} // namespace quillon::winapi::image
