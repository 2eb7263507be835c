// The native registry service: the wide advapi32 calls, with the program's UTF-8 names and string
// data converted. String data crosses as the program expects of every backend: UTF-8 with each
// string's terminator (a multi-string ends with one more), whatever terminators the stored data
// had.

#include <windows.h>

#include "winapi/native/NativeBackend.h"
#include "winapi/native/NativeText.h"

#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace quillon::winapi::native {

namespace {

// Our predefined roots are the 32-bit Windows values; a 64-bit <windows.h> sign-extends them.
HKEY ToNative(TKeyValue key) {
  switch (key) {
  case 0x80000000:
    return HKEY_CLASSES_ROOT;
  case 0x80000001:
    return HKEY_CURRENT_USER;
  case 0x80000002:
    return HKEY_LOCAL_MACHINE;
  case 0x80000003:
    return HKEY_USERS;
  case 0x80000004:
    return HKEY_PERFORMANCE_DATA;
  case 0x80000005:
    return HKEY_CURRENT_CONFIG;
  case 0x80000006:
    return HKEY_DYN_DATA;
  default:
    return reinterpret_cast<HKEY>(key);
  }
}

TKeyValue FromNative(HKEY key) {
  return reinterpret_cast<TKeyValue>(key);
}

bool IsString(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The strings of a multi-string: they end at the first empty one (a double NUL) or at the end.
template <class View> std::vector<View> SplitMulti(View text) {
  std::vector<View> out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(typename View::value_type{0}, start);
    if (end == View::npos)
      end = text.size();
    if (end == start)
      break;
    out.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

// Stored string data (UTF-16, terminators as the writer left them) to the program's UTF-8.
std::string DecodeString(DWORD type, const std::vector<BYTE>& stored) {
  std::wstring units(stored.size() / sizeof(wchar_t), L'\0');
  std::memcpy(units.data(), stored.data(), units.size() * sizeof(wchar_t));
  if (type != REG_MULTI_SZ)
    return Utf8Terminated(units.data(), units.size()) + '\0';
  std::string out;
  for (const std::wstring_view s : SplitMulti(std::wstring_view(units)))
    out += Utf8(s) + '\0';
  return out + '\0';
}

// The program's UTF-8 (terminators optional) to the UTF-16 the registry stores, terminated.
std::wstring EncodeString(DWORD type, std::string_view data) {
  if (type != REG_MULTI_SZ)
    return Wide(data.substr(0, data.find('\0'))) + L'\0';
  std::wstring out;
  for (const std::string_view s : SplitMulti(data))
    out += Wide(s) + L'\0';
  return out + L'\0';
}

// A NUL inside a name would end it early at the call (a parent key deleted instead of its child):
// such a name is refused.
bool NameArg(const std::string& name, std::wstring& wide) {
  if (name.find('\0') != std::string::npos)
    return false;
  wide = Wide(name);
  return true;
}

class TNativeRegistry final : public TRegistryService {
public:
  std::int32_t Open(TKeyValue key, const std::string& subKey, std::uint32_t options,
                    std::uint32_t access, TKeyValue& result) override {
    result = 0;
    std::wstring name;
    if (!NameArg(subKey, name))
      return ERROR_INVALID_PARAMETER;
    HKEY opened = nullptr;
    const LONG r = ::RegOpenKeyExW(ToNative(key), name.c_str(), options, View(access), &opened);
    if (r == ERROR_SUCCESS)
      result = Opened(opened, access);
    return r;
  }

  std::int32_t Create(TKeyValue key, const std::string& subKey, std::uint32_t access,
                      TKeyValue& result, std::uint32_t* disposition) override {
    result = 0;
    std::wstring name;
    if (!NameArg(subKey, name))
      return ERROR_INVALID_PARAMETER;
    HKEY created = nullptr;
    DWORD how = 0;
    const LONG r =
        ::RegCreateKeyExW(ToNative(key), name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          View(access), nullptr, &created, &how);
    if (r != ERROR_SUCCESS)
      return r;
    result = Opened(created, access);
    if (disposition)
      *disposition = how;
    return r;
  }

  std::int32_t Close(TKeyValue key) override {
    {
      const std::lock_guard lock(mutex_);
      nativeView_.erase(key);
    }
    return ::RegCloseKey(ToNative(key));
  }

  std::int32_t QueryValue(TKeyValue key, const std::string& name, std::uint32_t* type,
                          std::string* data) override {
    std::wstring wide;
    if (!NameArg(name, wide))
      return ERROR_FILE_NOT_FOUND;
    const HKEY k = ToNative(key);
    DWORD storedType = 0;
    if (!data) {
      const LONG r = ::RegQueryValueExW(k, wide.c_str(), nullptr, &storedType, nullptr, nullptr);
      if (r == ERROR_SUCCESS && type)
        *type = storedType;
      return r;
    }
    // The value may change between the size asked and the read: ask again while it grows.
    DWORD size = 0;
    LONG r = ::RegQueryValueExW(k, wide.c_str(), nullptr, &storedType, nullptr, &size);
    std::vector<BYTE> bytes;
    for (int attempt = 0; attempt < 8 && (r == ERROR_SUCCESS || r == ERROR_MORE_DATA); ++attempt) {
      bytes.resize(size);
      DWORD got = size;
      r = ::RegQueryValueExW(k, wide.c_str(), nullptr, &storedType, bytes.data(), &got);
      if (r == ERROR_SUCCESS) {
        bytes.resize(got);
        break;
      }
      size = r == ERROR_MORE_DATA && got > size ? got : size * 2 + 64;
    }
    if (r != ERROR_SUCCESS)
      return r;
    if (type)
      *type = storedType;
    *data = IsString(storedType) ? DecodeString(storedType, bytes)
                                 : std::string(bytes.begin(), bytes.end());
    return ERROR_SUCCESS;
  }

  std::int32_t SetValue(TKeyValue key, const std::string& name, std::uint32_t type,
                        std::string_view data) override {
    std::wstring wide;
    if (!NameArg(name, wide))
      return ERROR_INVALID_PARAMETER;
    const HKEY k = ToNative(key);
    if (!IsString(type)) {
      if (data.size() > MAXDWORD)
        return ERROR_INVALID_PARAMETER;
      return ::RegSetValueExW(k, wide.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                              static_cast<DWORD>(data.size()));
    }
    const std::wstring text = EncodeString(type, data);
    if (text.size() > MAXDWORD / sizeof(wchar_t))
      return ERROR_INVALID_PARAMETER;
    return ::RegSetValueExW(k, wide.c_str(), 0, type, reinterpret_cast<const BYTE*>(text.data()),
                            static_cast<DWORD>(text.size() * sizeof(wchar_t)));
  }

  std::int32_t DeleteValue(TKeyValue key, const std::string& name) override {
    std::wstring wide;
    if (!NameArg(name, wide))
      return ERROR_FILE_NOT_FOUND;
    return ::RegDeleteValueW(ToNative(key), wide.c_str());
  }

  // In the view of the key it is relative to, as the program opened that key.
  std::int32_t DeleteKey(TKeyValue key, const std::string& subKey) override {
    std::wstring name;
    if (!NameArg(subKey, name))
      return ERROR_INVALID_PARAMETER;
    bool native = false;
    {
      const std::lock_guard lock(mutex_);
      native = nativeView_.count(key) != 0;
    }
    return ::RegDeleteKeyExW(ToNative(key), name.c_str(),
                             native ? KEY_WOW64_64KEY : KEY_WOW64_32KEY, 0);
  }

  // A key name has at most 255 characters.
  std::int32_t EnumKey(TKeyValue key, std::uint32_t index, std::string& name) override {
    wchar_t buffer[256];
    DWORD length = 256;
    const LONG r =
        ::RegEnumKeyExW(ToNative(key), index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_SUCCESS)
      name = Utf8(std::wstring_view(buffer, length));
    return r;
  }

  // A value name has at most 16383 characters; the buffer is kept per thread, as a walk over a
  // key's values asks once per value.
  std::int32_t EnumValue(TKeyValue key, std::uint32_t index, std::string& name) override {
    thread_local std::wstring buffer(16384, L'\0');
    DWORD length = static_cast<DWORD>(buffer.size());
    const LONG r = ::RegEnumValueW(ToNative(key), index, buffer.data(), &length, nullptr, nullptr,
                                   nullptr, nullptr);
    if (r == ERROR_SUCCESS)
      name = Utf8(std::wstring_view(buffer.data(), length));
    return r;
  }

private:
  // Without a view flag the program expects the 32-bit view, as a 32-bit process has it; a
  // 64-bit build must ask for it.
  static REGSAM View(std::uint32_t access) {
    return (access & (KEY_WOW64_32KEY | KEY_WOW64_64KEY)) != 0 ? access : access | KEY_WOW64_32KEY;
  }

  TKeyValue Opened(HKEY key, std::uint32_t access) {
    const TKeyValue value = FromNative(key);
    if ((access & KEY_WOW64_64KEY) != 0) {
      const std::lock_guard lock(mutex_);
      nativeView_.insert(value);
    }
    return value;
  }

  std::mutex mutex_;
  std::unordered_set<TKeyValue> nativeView_; // open keys of the 64-bit view
};

} // namespace

std::shared_ptr<TRegistryService> NativeRegistry() {
  return std::make_shared<TNativeRegistry>();
}

} // namespace quillon::winapi::native
