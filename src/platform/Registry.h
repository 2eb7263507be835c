#pragma once
// Registry access for the rest of the program: a registry object with a root key and one open
// current key, the view-aware variant that discovery uses, and free functions for single reads and
// writes of string values and for registry paths written as text ("HKLM\Software\A\Start Page").
//
// A view is the number 64 or 32: the native keys of a 64-bit Windows, or the keys a 32-bit
// program is redirected to. The program behaves as a 32-bit process, so view 32 sets no view flag.

#include "winapi/WinApi.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace quillon {

class ERegistryException : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// A root key, the current key opened below it (with its path) and the access mask new opens ask
// for. Paths that begin with "\" open from the root; other paths open from the current key when
// one is open.
class TRegistry {
public:
  explicit TRegistry(winapi::REGSAM access = winapi::KEY_ALL_ACCESS);
  virtual ~TRegistry();
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  winapi::HKEY RootKey() const { return rootKey_; }
  // Changing the root closes the current key.
  void SetRootKey(winapi::HKEY root);
  winapi::HKEY CurrentKey() const { return currentKey_.Get(); }
  const std::string& CurrentPath() const { return currentPath_; }
  winapi::REGSAM Access() const { return access_; }
  void SetAccess(winapi::REGSAM access) { access_ = access; }

  // Opens (or, with canCreate, creates) a key with the current access mask and makes it the
  // current key.
  bool OpenKey(const std::string& key, bool canCreate);
  // Opens a key with read rights, falling back to fewer rights when the key refuses them.
  bool OpenKeyReadOnly(const std::string& key);
  bool KeyExists(const std::string& key);
  void CloseKey();

  // The data of a string value; empty for a missing or empty value. Raises for another type
  // ("Invalid data type for '%s'") and for a failing read ("Failed to get data for '%s'").
  std::string ReadString(const std::string& name);
  // Writes a REG_SZ value; raises "Failed to set data for '%s'" when the write fails.
  void WriteString(const std::string& name, const std::string& value);
  // Data size in bytes (strings with their terminators); -1 when the value cannot be queried.
  int GetDataSize(const std::string& name) const;
  // Registry type of a value; false when it cannot be queried.
  bool GetDataType(const std::string& name, winapi::DWORD& type) const;
  bool ValueExists(const std::string& name) const;
  std::vector<std::string> GetValueNames() const;
  std::vector<std::string> GetKeyNames() const;

protected:
  // Opens a key handle with an explicit access mask without touching the current key.
  winapi::LONG OpenHandle(const std::string& key, winapi::REGSAM access, bool canCreate,
                          winapi::TRegKey& handle, std::string& path) const;
  // Makes an opened handle the current key.
  void ChangeKey(winapi::TRegKey handle, std::string path);
  // The raw data of a value; raises "Failed to get data for '%s'" when it cannot be read.
  std::string GetData(const std::string& name, winapi::DWORD& type) const;

  winapi::REGSAM access_;

private:
  winapi::HKEY rootKey_ = winapi::HKEY_CURRENT_USER;
  winapi::TRegKey currentKey_;
  std::string currentPath_;
};

// Value-type codes of TMyRegistry::GetValueType.
enum TRegValueTypeCode : int {
  rvtUnknown = 0,
  rvtNone = 1,
  rvtString = 2,
  rvtExpandString = 3,
  rvtBinary = 4,
  rvtDword = 5,
  rvtDwordBigEndian = 7,
  rvtLink = 8,
  rvtMultiString = 9,
  rvtResourceList = 10,
  rvtFullResourceDescriptor = 11,
  rvtResourceRequirementsList = 12,
  rvtQword = 13,
};

// The registry object discovery uses: an explicit view, keys opened for reading with falling-back
// rights, and multi-string values.
class TMyRegistry : public TRegistry {
public:
  TMyRegistry();

  // Accepts 32 or 64 only; raises ERegistryException otherwise.
  virtual void SetView(unsigned char view);
  unsigned char View() const { return view_; }

  // Tries KEY_READ, then read rights without change notification, then KEY_QUERY_VALUE alone.
  // The access mask is the same afterwards.
  bool OpenKeyForReading(const std::string& key);
  bool OpenKeyInView(const std::string& key, bool create);
  bool KeyExistsInView(const std::string& key);
  int GetValueType(const std::string& name) const;
  // The strings of a REG_MULTI_SZ value as lines, each ended by CR LF.
  std::string ReadMultiString(const std::string& name);

private:
  // The wanted rights with the view flags of the current mask and the flag of the view.
  winapi::REGSAM ViewAdjusted(winapi::REGSAM rights) const;
  void BringAccessToView();

  unsigned char view_ = 32;
};

// Reads a REG_SZ, REG_EXPAND_SZ (unexpanded) or REG_MULTI_SZ (as lines) value; false for a missing
// key or value or another type, leaving text unchanged. An empty value name reads the default.
bool RegReadString(winapi::HKEY root, const std::string& keyPath, const std::string& valueName,
                   int view, std::string& text);
// Writes a REG_SZ value, creating the key; false when the key cannot be opened or created.
bool RegWriteString(winapi::HKEY root, const std::string& keyPath, const std::string& valueName,
                    int view, const std::string& text);
// selector 0: view 32, 1: view 64, anything else: a new registry object's own access. Never raises.
bool RegKeyExists(winapi::HKEY root, const std::string& keyPath, int selector);
// "HKEY_LOCAL_MACHINE" or "HKLM" and the other hive names (case-sensitive); 0 for anything else.
winapi::HKEY HiveFromName(const std::string& name);
// Splits "HKLM\Software\A\Start Page" into the root, "Software\A\" and "Start Page"; "@" as the
// last part names the default value (empty name).
void SplitRegistryPath(const std::string& path, winapi::HKEY& root, std::string& keyPath,
                       std::string& valueName);

} // namespace quillon
