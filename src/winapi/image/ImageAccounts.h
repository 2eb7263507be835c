#pragma once
// Accounts, SIDs and shell folders of a Windows system image. Account names come from the SAM
// hive when present, else from the profile folder name; well-known SIDs have their Windows names;
// the domain of local accounts is the computer name from the SYSTEM hive.

#include "winapi/WinApi.h"
#include "winapi/image/ImageConfig.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quillon::winapi::image {

class TImageFileSystem;
class TImageRegistry;

class TImageAccounts final : public TAccountService {
public:
  // Failures set lastError (the backend's).
  TImageAccounts(TImageFileSystem& files, TImageRegistry& registry, const TImageConfig& config,
                 std::shared_ptr<TLastError> lastError);

  bool UserName(std::string& name) override;
  bool AccountOfSid(const std::string& systemName, const std::string& sid, std::string& name,
                    std::string& domain) override;
  bool SidOfAccount(const std::string& systemName, const std::string& accountName, std::string& sid,
                    std::string& domain) override;
  bool CanLoadLibrary(const std::string& libraryName) override;
  bool Exports(const std::string& libraryName, const std::string& functionName) override;
  // The current user's Shell Folders value, else User Shell Folders expanded, else the
  // Windows 7 default below the profile folder; CSIDL_PROGRAM_FILES from ProgramFilesDir.
  bool SpecialFolder(int csidl, std::string& path) override;

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
  std::shared_ptr<TLastError> lastError_;
};

} // namespace quillon::winapi::image
