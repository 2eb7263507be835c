#include "platform/Accounts.h"

#include <array>
#include <string_view>

namespace quillon {

using namespace winapi;

namespace {

constexpr const char* kAdvapi = "advapi32.dll";

// Looked up together at start-up; only the first two are called, but the set is usable only when
// the library offers all of them.
constexpr std::array<const char*, 7> kSidFunctionNames = {
    "ConvertStringSidToSidA",
    "ConvertSidToStringSidA",
    "ConvertSecurityDescriptorToStringSecurityDescriptorA",
    "ConvertStringSecurityDescriptorToSecurityDescriptorA",
    "MakeAbsoluteSD",
    "MakeSelfRelativeSD",
    "GetSecurityInfo",
};

struct TSidFunctions {
  std::array<TLibraryFunction, kSidFunctionNames.size()> slots;
  bool available = false;
};

TSidFunctions& SidFunctions() {
  static TSidFunctions functions;
  return functions;
}

// While the set is unavailable, text-to-SID fails and SID-to-text succeeds without text.
bool StringToSid(const std::string& text, SID& sid) {
  if (!SidFunctions().available) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return false;
  }
  return ConvertStringSidToSid(text, sid);
}

bool SidToString(const SID& sid, std::string& text) {
  if (!SidFunctions().available) {
    text.clear();
    return true;
  }
  return ConvertSidToStringSid(sid, text);
}

// Looks the SID up on the local machine and, when that yields no name, on the given machine.
bool LookupSidText(const std::string& sidText, const std::string& machineName, std::string& name,
                   std::string& domain) {
  SID sid;
  if (!StringToSid(sidText, sid))
    return false;
  if (LookupAccountSid("", sid, name, domain) && !name.empty())
    return true;
  name.clear();
  domain.clear();
  return LookupAccountSid(machineName, sid, name, domain);
}

std::string SystemErrorText() {
  return FormatMessage(GetLastError());
}

} // namespace

void BindLibraryFunction(TLibraryFunction& slot, const std::string& libraryName,
                         const std::string& functionName) {
  if (slot.bound_)
    return;
  if (!LoadLibrary(libraryName))
    throw EJwaLoadLibraryError("Library not found: " + libraryName);
  if (!GetProcAddress(libraryName, functionName))
    throw EJwaGetProcAddressError("Function not found: " + libraryName + "." + functionName);
  slot.library_ = libraryName;
  slot.function_ = functionName;
  slot.bound_ = true;
}

bool BindSidFunctions() {
  TSidFunctions& functions = SidFunctions();
  functions.available = false;
  try {
    for (std::size_t i = 0; i < kSidFunctionNames.size(); ++i)
      BindLibraryFunction(functions.slots[i], kAdvapi, kSidFunctionNames[i]);
    functions.available = true;
  } catch (const EJwaError&) {
    functions = TSidFunctions();
  }
  return functions.available;
}

bool SidFunctionsAvailable() {
  return SidFunctions().available;
}

void UnbindSidFunctions() {
  SidFunctions() = TSidFunctions();
}

std::string GetCurrentUserName() {
  std::string name;
  if (!GetUserName(name))
    return {};
  const auto nul = name.find('\0');
  if (nul != std::string::npos)
    name.resize(nul);
  return name;
}

std::string SidAliasName(const std::string& text) {
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 38> kAliases = {{
      {"AO", "Account operators"},
      {"RU", "Alias to allow previous Windows 2000"},
      {"AN", "Anonymous logon"},
      {"AU", "Authenticated users"},
      {"BA", "Built-in administrators"},
      {"BG", "Built-in guests"},
      {"BO", "Backup operators"},
      {"BU", "Built-in users"},
      {"CA", "Certificate publishers"},
      {"CG", "Creator group"},
      {"CO", "Creator owner"},
      {"DA", "Domain administrators"},
      {"DC", "Domain computers"},
      {"DD", "Domain controllers"},
      {"DG", "Domain guests"},
      {"DU", "Domain users"},
      {"EA", "Enterprise administrators"},
      {"ED", "Enterprise domain controllers"},
      {"WD", "Everyone"},
      {"PA", "Group Policy administrators"},
      {"IU", "Interactively logged-on user"},
      {"LA", "Local administrator"},
      {"LG", "Local guest"},
      {"LS", "Local service account"},
      {"SY", "Local system"},
      {"NU", "Network logon user"},
      {"NO", "Network configuration operators"},
      {"NS", "Network service account"},
      {"PO", "Printer operators"},
      {"PS", "Principal self"},
      {"PU", "Power users"},
      {"RS", "RAS servers group"},
      {"RD", "Terminal server users"},
      {"RE", "Replicator"},
      {"RC", "Restricted code"},
      {"SA", "Schema administrators"},
      {"SO", "Server operators"},
      {"SU", "Service logon user"},
  }};
  if (text.size() != 2)
    return text;
  for (const auto& [code, name] : kAliases)
    if (text == code)
      return std::string(name);
  return "Unknown(?): " + text;
}

std::string SidToAccountNameAndDomain(const std::string& sidText, const std::string& machineName) {
  std::string name, domain;
  if (!LookupSidText(sidText, machineName, name, domain) || name.empty())
    return SidAliasName(sidText);
  return domain.empty() ? name : name + " (" + domain + ")";
}

std::string SidToAccountName(const std::string& sidText, const std::string& machineName) {
  std::string name, domain;
  if (!LookupSidText(sidText, machineName, name, domain) || name.empty())
    return SidAliasName(sidText);
  return name;
}

std::string zuConvertSidToStringSid(const SID& sid) {
  std::string text;
  if (!SidToString(sid, text))
    throw EAccountError("zuConvertSidToStringSid.ConvertSidToStringSid failed (" +
                        SystemErrorText() + ")!");
  return text;
}

SID zuLookupAccountName(const std::string& accountName, const std::string& machineName) {
  SID sid;
  std::string domain;
  if (!LookupAccountName(machineName, accountName, sid, domain))
    throw EAccountError("zuLookupAccountName.LookupAccountName failed (" + SystemErrorText() +
                        ")!");
  return sid;
}

bool IsUserSid(const std::string& keyName) {
  constexpr std::string_view kClasses = "_Classes";
  if (keyName.size() >= kClasses.size() &&
      std::string_view(keyName).substr(keyName.size() - kClasses.size()) == kClasses)
    return false;
  return keyName != "S-1-5-18" && keyName != "S-1-5-19" && keyName != "S-1-5-20" &&
         keyName != ".DEFAULT";
}

} // namespace quillon
