#pragma once
// Accounts, SIDs and shell folders of a Windows system image. Account names come from the SAM
// hive when present, else from the profile folder name; well-known SIDs have their Windows names;
// the domain of local accounts is the computer name from the SYSTEM hive.

#include "winapi/WinApi.h"
#include "winapi/image/ImageConfig.h"

#include <string>
#include <utility>
#include <vector>

namespace quillon::winapi::image {

class TImageFileSystem;
class TImageRegistry;

class TImageAccounts {
public:
  TImageAccounts(TImageFileSystem& files, TImageRegistry& registry, const TImageConfig& config);

  BOOL GetUserName(std::string& name);
  BOOL LookupAccountSid(const std::string& systemName, const SID& sid, std::string& name,
                        std::string& domain);
  BOOL LookupAccountName(const std::string& systemName, const std::string& accountName, SID& sid,
                         std::string& domain);
  BOOL LoadLibrary(const std::string& libraryName);
  BOOL GetProcAddress(const std::string& libraryName, const std::string& functionName);
  // The current user's Shell Folders value, else User Shell Folders expanded, else the
  // Windows 7 default below the profile folder; CSIDL_PROGRAM_FILES from ProgramFilesDir.
  BOOL SHGetSpecialFolderPath(int csidl, std::string& path);

private:
  // Local accounts of the SAM hive: name and RID.
  std::vector<std::pair<std::string, DWORD>> SamAccounts();
  std::string MachineSid();
  std::string ComputerName();
  // Name and domain of an account of this machine or of a profile on it.
  bool LocalAccount(const std::string& sid, std::string& name, std::string& domain);
  std::string ProgramFilesDir();
  // Expands %VARIABLE% references; self is the shell folder whose value is expanded.
  std::string Expand(const std::string& text, const std::string& profile, int depth,
                     const char* self);
  std::string UserFolder(const char* valueName, const char* fallback, const std::string& profile,
                         int depth);

  TImageFileSystem& files_;
  TImageRegistry& registry_;
  TImageConfig config_;
};

} // namespace quillon::winapi::image
