#pragma once
// Account functions for discovery, which looks at every user of the machine: the logon name of
// the current user, the SID of an account, the text form of a SID, the account name behind a SID
// text (with readable names for the well-known aliases) and the filter that tells user hives
// under HKEY_USERS from system hives.

#include "winapi/WinApi.h"

#include <stdexcept>
#include <string>

namespace quillon {

class EJwaError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};
class EJwaLoadLibraryError : public EJwaError {
public:
  using EJwaError::EJwaError;
};
class EJwaGetProcAddressError : public EJwaError {
public:
  using EJwaError::EJwaError;
};

// Raised by zuConvertSidToStringSid and zuLookupAccountName.
class EAccountError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// A function of a library that is looked up on first use and stays bound for the rest of the run.
class TLibraryFunction {
public:
  bool Bound() const { return bound_; }
  const std::string& Library() const { return library_; }
  const std::string& Function() const { return function_; }

private:
  friend void BindLibraryFunction(TLibraryFunction& slot, const std::string& libraryName,
                                  const std::string& functionName);
  bool bound_ = false;
  std::string library_;
  std::string function_;
};

// Does nothing for a bound slot. Raises EJwaLoadLibraryError ("Library not found: <lib>") or
// EJwaGetProcAddressError ("Function not found: <lib>.<fn>") and leaves the slot unbound, so a
// later call tries again.
void BindLibraryFunction(TLibraryFunction& slot, const std::string& libraryName,
                         const std::string& functionName);

// Binds the SID conversion functions of advapi32.dll, as start-up does once. They count as
// available only if the library and all seven functions are found. Returns the availability.
bool BindSidFunctions();
bool SidFunctionsAvailable();
// Forgets the binding (tests and shutdown); the functions are unavailable until bound again.
void UnbindSidFunctions();

// The logon name of the user that runs the program; empty when the system does not tell.
std::string GetCurrentUserName();

// Texts of the two-letter well-known SID aliases; "Unknown(?): XX" for another two-letter text;
// any other text unchanged.
std::string SidAliasName(const std::string& text);

// "name (domain)", or the name alone when the domain is empty; the alias text or the SID text
// itself when the SID does not resolve. Never raises.
std::string SidToAccountNameAndDomain(const std::string& sidText, const std::string& machineName);
// The account name alone; the alias text or the SID text itself when the SID does not resolve.
std::string SidToAccountName(const std::string& sidText, const std::string& machineName);

// The text form of a binary SID; raises EAccountError when the conversion fails. Empty without
// raising while the SID functions are unavailable.
std::string zuConvertSidToStringSid(const winapi::SID& sid);
// The binary SID of an account on a machine (empty: the local machine); raises EAccountError.
winapi::SID zuLookupAccountName(const std::string& accountName, const std::string& machineName);

// False for the hives of the system accounts, the default profile and the "_Classes" hives.
bool IsUserSid(const std::string& keyName);

} // namespace quillon
