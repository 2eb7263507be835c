#pragma once
// The registry of a Windows system image, served from its hive files through hivex:
//   HKEY_LOCAL_MACHINE\SOFTWARE|SYSTEM|SAM  <- Windows\System32\config\SOFTWARE|SYSTEM|SAM
//   HKEY_USERS\<SID>                        <- <ProfileImagePath>\NTUSER.DAT of ProfileList\<SID>
//   HKEY_USERS\<SID>_Classes                <-
//   <profile>\AppData\Local\Microsoft\Windows\UsrClass.dat HKEY_USERS\.DEFAULT <-
//   Windows\System32\config\DEFAULT HKEY_CURRENT_USER                       =  HKEY_USERS\<SID of
//   the current user> HKEY_CLASSES_ROOT                       = HKEY_LOCAL_MACHINE\SOFTWARE\Classes
// Hives open on first use. A hive that is missing, unreadable or whose key tree is damaged leaves
// its key absent. Each change commits to a temporary file beside the hive that then replaces it,
// so a failed write never damages a hive. On an image with SOFTWARE\Wow6432Node, keys below
// HKLM\SOFTWARE opened in the 32-bit view (the default of the 32-bit program we stand in for)
// are redirected there.

#include "winapi/WinApi.h"
#include "winapi/image/ImageConfig.h"

#include <memory>
#include <string>
#include <vector>

namespace quillon::winapi::image {

class TImageFileSystem;

class TImageRegistry final : public TRegistryService {
public:
  TImageRegistry(TImageFileSystem& files, const TImageConfig& config);
  ~TImageRegistry() override;
  TImageRegistry(const TImageRegistry&) = delete;
  TImageRegistry& operator=(const TImageRegistry&) = delete;

  std::int32_t Open(TKeyValue key, const std::string& subKey, std::uint32_t options,
                    std::uint32_t access, TKeyValue& result) override;
  std::int32_t Create(TKeyValue key, const std::string& subKey, std::uint32_t access,
                      TKeyValue& result, std::uint32_t* disposition) override;
  std::int32_t Close(TKeyValue key) override;
  std::int32_t QueryValue(TKeyValue key, const std::string& name, std::uint32_t* type,
                          std::string* data) override;
  std::int32_t SetValue(TKeyValue key, const std::string& name, std::uint32_t type,
                        std::string_view data) override;
  std::int32_t DeleteValue(TKeyValue key, const std::string& name) override;
  std::int32_t DeleteKey(TKeyValue key, const std::string& subKey) override;
  std::int32_t EnumKey(TKeyValue key, std::uint32_t index, std::string& name) override;
  std::int32_t EnumValue(TKeyValue key, std::uint32_t index, std::string& name) override;

  // The SID text of the session's user (from --user, else the image's last logged-on user),
  // empty when the image has no user profiles.
  std::string CurrentUserSid() const;
  // The profile folder (a Windows path) of a SID from ProfileList, empty when unknown.
  std::string ProfileFolderOfSid(const std::string& sid) const;

  // The ProfileList of the image in its order: SID text and profile folder (a Windows path).
  struct TProfile {
    std::string sid;
    std::string folder;
  };
  std::vector<TProfile> Profiles() const;

private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

} // namespace quillon::winapi::image
