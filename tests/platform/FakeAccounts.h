#pragma once
// An accounts-and-shell service the platform tests set up: accounts known to chosen machines,
// the libraries and functions the system offers, the shell's special folders. It records what it
// was asked for (lookup machines, library loads), which an image cannot show. Files and registry
// come from a built image (PlatformImage.h).

#include "winapi/CaseFold.h"
#include "winapi/WinApi.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace quillon::test {

class TFakeAccounts final : public winapi::TAccountService {
public:
  struct TAccount {
    std::string Sid, Name, Domain;
    std::string Machine; // the machine that knows the account; "" = the local one
  };
  std::string CurrentUser; // what GetUserName answers; empty: the call fails
  std::vector<TAccount> Accounts;
  std::vector<std::string> LookupMachines; // machine name of every LookupAccountSid call
  std::set<std::string> Libraries;         // lower case
  std::set<std::string> Functions;         // "lib!function", library in lower case
  int LoadLibraryCalls = 0;
  std::map<int, std::string> SpecialFolders;

  // Every library function the SID binding looks for.
  void OfferSidFunctions() {
    Libraries.insert("advapi32.dll");
    for (const char* fn : {"ConvertStringSidToSidA", "ConvertSidToStringSidA",
                           "ConvertSecurityDescriptorToStringSecurityDescriptorA",
                           "ConvertStringSecurityDescriptorToSecurityDescriptorA", "MakeAbsoluteSD",
                           "MakeSelfRelativeSD", "GetSecurityInfo"})
      Functions.insert(std::string("advapi32.dll!") + fn);
  }

  bool UserName(std::string& name) override {
    if (CurrentUser.empty())
      return Fail(winapi::ERROR_NOT_SUPPORTED);
    name = CurrentUser;
    return true;
  }
  bool AccountOfSid(const std::string& machine, const std::string& sid, std::string& name,
                    std::string& domain) override {
    LookupMachines.push_back(machine);
    std::string text;
    if (!winapi::ConvertSidToStringSid(sid, text))
      return Fail(winapi::ERROR_INVALID_SID);
    for (const auto& a : Accounts)
      if (a.Sid == text && winapi::SameName(a.Machine, machine)) {
        name = a.Name;
        domain = a.Domain;
        return true;
      }
    return Fail(winapi::ERROR_NONE_MAPPED);
  }
  bool SidOfAccount(const std::string& machine, const std::string& accountName, std::string& sid,
                    std::string& domain) override {
    for (const auto& a : Accounts)
      if (winapi::SameName(a.Name, accountName) && winapi::SameName(a.Machine, machine) &&
          winapi::ConvertStringSidToSid(a.Sid, sid)) {
        domain = a.Domain;
        return true;
      }
    return Fail(winapi::ERROR_NONE_MAPPED);
  }
  bool CanLoadLibrary(const std::string& library) override {
    ++LoadLibraryCalls;
    return Libraries.count(Lower(library)) ? true : Fail(winapi::ERROR_MOD_NOT_FOUND);
  }
  bool Exports(const std::string& library, const std::string& function) override {
    return Functions.count(Lower(library) + "!" + function) ? true
                                                            : Fail(winapi::ERROR_PROC_NOT_FOUND);
  }
  bool SpecialFolder(int csidl, std::string& path) override {
    const auto it = SpecialFolders.find(csidl);
    if (it == SpecialFolders.end())
      return Fail(winapi::ERROR_FILE_NOT_FOUND);
    path = it->second;
    return true;
  }

private:
  static std::string Lower(std::string text) {
    for (char& c : text)
      c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return text;
  }
  static bool Fail(winapi::DWORD code) {
    winapi::SetLastError(code); // the installed backend's: this service is part of it
    return false;
  }
};

} // namespace quillon::test
