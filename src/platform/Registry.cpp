#include "platform/Registry.h"

#include <array>
#include <utility>

namespace quillon {

using namespace winapi;

namespace {

constexpr REGSAM kViewFlags = KEY_WOW64_64KEY | KEY_WOW64_32KEY;
// KEY_READ without KEY_NOTIFY: keys that deny change notification still open with it.
constexpr REGSAM kReadWithoutNotify = 0x20009;
// Rights tried in turn when a key is opened for reading.
constexpr std::array<REGSAM, 3> kReadingRights = {KEY_READ, kReadWithoutNotify, KEY_QUERY_VALUE};

// A view number as SetView takes it; anything but 32 or 64 becomes a view SetView refuses.
unsigned char ViewByte(int view) {
  return view == 32 || view == 64 ? static_cast<unsigned char>(view) : 0;
}

std::string Quoted(const std::string& format, const std::string& name) {
  return format + " '" + name + "'";
}

// The names an enumeration of the key hands out by index (its values or its sub-keys), up to the
// first index it does not answer; none for a key that is not open.
std::vector<std::string> EnumeratedNames(const TRegKey& key,
                                         LONG (*enumerate)(HKEY, DWORD, std::string&)) {
  std::vector<std::string> names;
  if (!key.Valid())
    return names;
  std::string name;
  for (DWORD i = 0; enumerate(key.Get(), i, name) == ERROR_SUCCESS; ++i)
    names.push_back(name);
  return names;
}

} // namespace

// --- TRegistry -----------------------------------------------------------------------------------

TRegistry::TRegistry(REGSAM access) : access_(access) {}

TRegistry::~TRegistry() = default;

void TRegistry::SetRootKey(HKEY root) {
  if (root == rootKey_)
    return;
  rootKey_ = root;
  CloseKey();
}

LONG TRegistry::OpenHandle(const std::string& key, REGSAM access, bool canCreate, TRegKey& handle,
                           std::string& path) const {
  const bool relative = key.empty() || key.front() != '\\';
  const std::string sub = relative ? key : key.substr(1);
  const bool fromCurrent = relative && currentKey_.Valid();
  // The key paths callers write end in "\"; the service wants the bare key name.
  std::string apiSub = sub;
  while (!apiSub.empty() && apiSub.back() == '\\')
    apiSub.pop_back();
  const HKEY base = fromCurrent ? currentKey_.Get() : rootKey_;
  HKEY opened = 0;
  const LONG rc = canCreate ? RegCreateKeyEx(base, apiSub, access, opened)
                            : RegOpenKeyEx(base, apiSub, 0, access, opened);
  if (rc != ERROR_SUCCESS)
    return rc;
  handle = TRegKey(opened);
  path = fromCurrent ? currentPath_ + "\\" + sub : sub;
  return ERROR_SUCCESS;
}

void TRegistry::ChangeKey(TRegKey handle, std::string path) {
  CloseKey();
  currentKey_ = std::move(handle);
  currentPath_ = std::move(path);
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
  TRegKey handle;
  std::string path;
  if (OpenHandle(key, access_, canCreate, handle, path) != ERROR_SUCCESS)
    return false;
  ChangeKey(std::move(handle), std::move(path));
  return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& key) {
  for (const REGSAM rights : kReadingRights) {
    TRegKey handle;
    std::string path;
    if (OpenHandle(key, (access_ & kViewFlags) | rights, false, handle, path) == ERROR_SUCCESS) {
      ChangeKey(std::move(handle), std::move(path));
      return true;
    }
  }
  return false;
}

bool TRegistry::KeyExists(const std::string& key) {
  TRegKey handle;
  std::string path;
  return OpenHandle(key, (access_ & kViewFlags) | kReadWithoutNotify, false, handle, path) ==
         ERROR_SUCCESS;
}

void TRegistry::CloseKey() {
  currentKey_ = TRegKey();
  currentPath_.clear();
}

std::string TRegistry::GetData(const std::string& name, DWORD& type) const {
  std::string data;
  if (RegQueryValueEx(currentKey_.Get(), name, &type, &data) != ERROR_SUCCESS)
    throw ERegistryException(Quoted("Failed to get data for", name));
  return data;
}

std::string TRegistry::ReadString(const std::string& name) {
  if (GetDataSize(name) <= 0)
    return {};
  DWORD type = REG_NONE;
  std::string data = GetData(name, type);
  if (type != REG_SZ && type != REG_EXPAND_SZ)
    throw ERegistryException(Quoted("Invalid data type for", name));
  const auto nul = data.find('\0');
  if (nul != std::string::npos)
    data.resize(nul);
  return data;
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
  if (RegSetValueEx(currentKey_.Get(), name, REG_SZ, value) != ERROR_SUCCESS)
    throw ERegistryException(Quoted("Failed to set data for", name));
}

int TRegistry::GetDataSize(const std::string& name) const {
  DWORD type = REG_NONE;
  std::string data;
  if (RegQueryValueEx(currentKey_.Get(), name, &type, &data) != ERROR_SUCCESS)
    return -1;
  return static_cast<int>(data.size());
}

bool TRegistry::GetDataType(const std::string& name, DWORD& type) const {
  return RegQueryValueEx(currentKey_.Get(), name, &type, nullptr) == ERROR_SUCCESS;
}

bool TRegistry::ValueExists(const std::string& name) const {
  return RegQueryValueEx(currentKey_.Get(), name, nullptr, nullptr) == ERROR_SUCCESS;
}

std::vector<std::string> TRegistry::GetValueNames() const {
  return EnumeratedNames(currentKey_, RegEnumValue);
}

std::vector<std::string> TRegistry::GetKeyNames() const {
  return EnumeratedNames(currentKey_, RegEnumKeyEx);
}

// --- TMyRegistry ---------------------------------------------------------------------------------

TMyRegistry::TMyRegistry() : TRegistry(KEY_ALL_ACCESS) {}

void TMyRegistry::SetView(unsigned char view) {
  if (view != 32 && view != 64)
    throw ERegistryException("Windows Registry only supported with 32 or 64 bits!");
  view_ = view;
  BringAccessToView();
}

void TMyRegistry::BringAccessToView() {
  if (view_ == 64)
    access_ = (access_ & ~KEY_WOW64_32KEY) | KEY_WOW64_64KEY;
  else
    access_ &= ~KEY_WOW64_64KEY;
}

REGSAM TMyRegistry::ViewAdjusted(REGSAM rights) const {
  return (access_ & kViewFlags) | rights | (view_ == 64 ? KEY_WOW64_64KEY : 0);
}

bool TMyRegistry::OpenKeyForReading(const std::string& key) {
  for (const REGSAM rights : kReadingRights) {
    TRegKey handle;
    std::string path;
    if (OpenHandle(key, ViewAdjusted(rights), false, handle, path) == ERROR_SUCCESS) {
      ChangeKey(std::move(handle), std::move(path));
      return true;
    }
  }
  return false;
}

bool TMyRegistry::OpenKeyInView(const std::string& key, bool create) {
  BringAccessToView();
  return OpenKey(key, create);
}

bool TMyRegistry::KeyExistsInView(const std::string& key) {
  TRegKey handle;
  std::string path;
  return OpenHandle(key, ViewAdjusted(kReadWithoutNotify), false, handle, path) == ERROR_SUCCESS;
}

int TMyRegistry::GetValueType(const std::string& name) const {
  DWORD type = REG_NONE;
  if (!GetDataType(name, type))
    return rvtUnknown;
  switch (type) {
  case REG_NONE:
    return rvtNone;
  case REG_SZ:
    return rvtString;
  case REG_EXPAND_SZ:
    return rvtExpandString;
  case REG_BINARY:
    return rvtBinary;
  case REG_DWORD:
    return rvtDword;
  case REG_DWORD_BIG_ENDIAN:
    return rvtDwordBigEndian;
  case REG_LINK:
    return rvtLink;
  case REG_MULTI_SZ:
    return rvtMultiString;
  case REG_RESOURCE_LIST:
    return rvtResourceList;
  case REG_FULL_RESOURCE_DESCRIPTOR:
    return rvtFullResourceDescriptor;
  case REG_RESOURCE_REQUIREMENTS_LIST:
    return rvtResourceRequirementsList;
  case REG_QWORD:
    return rvtQword;
  default:
    return rvtUnknown;
  }
}

std::string TMyRegistry::ReadMultiString(const std::string& name) {
  if (GetDataSize(name) <= 0)
    return {};
  DWORD type = REG_NONE;
  const std::string data = GetData(name, type);
  // Every NUL but the final one ends a line.
  std::string text;
  text.reserve(data.size() + data.size() / 4);
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (data[i] == '\0' && i + 1 != data.size())
      text += "\r\n";
    else
      text += data[i];
  }
  if (type != REG_MULTI_SZ)
    throw ERegistryException(Quoted("Invalid data type for", name));
  const auto nul = text.find('\0');
  if (nul != std::string::npos)
    text.resize(nul);
  return text;
}

// --- Free functions ------------------------------------------------------------------------------

bool RegReadString(HKEY root, const std::string& keyPath, const std::string& valueName, int view,
                   std::string& text) {
  TMyRegistry reg;
  reg.SetView(ViewByte(view));
  reg.SetRootKey(root);
  if (!reg.OpenKeyForReading(keyPath))
    return false;
  switch (reg.GetValueType(valueName)) {
  case rvtString:
  case rvtExpandString:
    text = reg.ReadString(valueName);
    return true;
  case rvtMultiString:
    text = reg.ReadMultiString(valueName);
    return true;
  default:
    return false;
  }
}

bool RegWriteString(HKEY root, const std::string& keyPath, const std::string& valueName, int view,
                    const std::string& text) {
  TMyRegistry reg;
  reg.SetView(ViewByte(view));
  reg.SetRootKey(root);
  if (!reg.OpenKeyInView(keyPath, true))
    return false;
  reg.WriteString(valueName, text);
  return true;
}

bool RegKeyExists(HKEY root, const std::string& keyPath, int selector) {
  try {
    TMyRegistry reg;
    if (selector == 0)
      reg.SetView(32);
    else if (selector == 1)
      reg.SetView(64);
    reg.SetRootKey(root);
    return reg.KeyExistsInView(keyPath);
  } catch (...) {
    return false;
  }
}

HKEY HiveFromName(const std::string& name) {
  static const std::array<std::pair<const char*, const char*>, 7> kHives = {{
      {"HKEY_CLASSES_ROOT", "HKCR"},
      {"HKEY_CURRENT_USER", "HKCU"},
      {"HKEY_LOCAL_MACHINE", "HKLM"},
      {"HKEY_USERS", "HKUS"},
      {"HKEY_PERFORMANCE_DATA", "HKPD"},
      {"HKEY_CURRENT_CONFIG", "HKCC"},
      {"HKEY_DYN_DATA", "HKDD"},
  }};
  for (std::size_t i = 0; i < kHives.size(); ++i)
    if (name == kHives[i].first || name == kHives[i].second)
      return HKEY_CLASSES_ROOT + i;
  return 0;
}

void SplitRegistryPath(const std::string& path, HKEY& root, std::string& keyPath,
                       std::string& valueName) {
  valueName.clear();
  const auto slash = path.find('\\');
  if (slash == std::string::npos) {
    root = 0;
    keyPath = "\\";
    return;
  }
  root = HiveFromName(path.substr(0, slash));
  const std::string rest = path.substr(slash + 1);
  if (rest.empty()) {
    keyPath = "\\";
    return;
  }
  if (rest.find('\\') == std::string::npos) {
    keyPath = rest + "\\";
    return;
  }
  // The value name is what stays after dropping leading characters while a "\" remains and at
  // least two characters are left: normally the part after the last "\", but "\" itself for a
  // path that ends in "\".
  std::string_view name(rest);
  while (name.find('\\') != std::string_view::npos && name.size() >= 2)
    name.remove_prefix(1);
  keyPath = rest.substr(0, rest.size() - name.size());
  valueName = name == "@" ? std::string() : std::string(name);
}

} // namespace quillon
