#include "winapi/image/ImageRegistry.h"

#include "winapi/CaseFold.h"
#include "winapi/image/Hive.h"
#include "winapi/image/ImageFileSystem.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <unistd.h>
#include <unordered_map>

namespace quillon::winapi::image {

namespace {

// Windows' answer for a handle whose key was deleted under it.
constexpr LONG ERROR_KEY_DELETED = 1018;
constexpr std::size_t kMaxKeyNameUnits = 255;

using TPath = std::vector<std::string>;

const char* const kConfigFolder = "C:\\Windows\\System32\\config\\";
const TPath kProfileListPath = {"Microsoft", "Windows NT", "CurrentVersion", "ProfileList"};
const TPath kWinlogonPath = {"Microsoft", "Windows NT", "CurrentVersion", "Winlogon"};
const char* const kWow64Node = "Wow6432Node";

// Keys below HKLM\SOFTWARE that 64-bit Windows 7 shares between both views, so a 32-bit program
// reaches them unredirected. Only a few of the system's list are kept: Classes (Windows splits it
// further with a Wow6432Node of its own; we serve it whole, as HKEY_CLASSES_ROOT is), the
// policies, the profile list and the time zones.
const std::vector<TPath> kSharedKeys = {
    {"Classes"},
    {"Policies"},
    {"Microsoft", "Windows NT", "CurrentVersion", "ProfileList"},
    {"Microsoft", "Windows NT", "CurrentVersion", "Time Zones"},
};

struct TFreeDeleter {
  void operator()(void* p) const noexcept { std::free(p); }
};
template <class T> using TMallocPtr = std::unique_ptr<T, TFreeDeleter>;

bool StartsWith(const TPath& path, const TPath& prefix) {
  if (path.size() < prefix.size())
    return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (!SameRegistryName(path[i], prefix[i]))
      return false;
  return true;
}

bool IsPredefined(HKEY key) {
  return key >= HKEY_CLASSES_ROOT && key <= HKEY_DYN_DATA;
}

bool IsSystemSid(std::string_view sid) {
  return SameRegistryName(sid, "S-1-5-18") || SameRegistryName(sid, "S-1-5-19") ||
         SameRegistryName(sid, "S-1-5-20");
}

std::string LastComponent(const std::string& path) {
  const auto slash = path.find_last_of('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// ProfileImagePath is REG_EXPAND_SZ; profiles use only these two variables.
std::string ExpandProfilePath(std::string path) {
  static const std::pair<std::string_view, std::string_view> kVariables[] = {
      {"%SystemDrive%", "C:"}, {"%SystemRoot%", "C:\\Windows"}, {"%windir%", "C:\\Windows"}};
  for (const auto& [name, value] : kVariables) {
    std::size_t pos = 0;
    while ((pos = path.find('%', pos)) != std::string::npos) {
      if (path.size() - pos >= name.size() &&
          SameRegistryName(std::string_view(path).substr(pos, name.size()), name)) {
        path.replace(pos, name.size(), value);
        pos += value.size();
      } else {
        ++pos;
      }
    }
  }
  while (!path.empty() && path.back() == '\\')
    path.pop_back();
  return path;
}

std::size_t Utf16Length(std::string_view name) {
  return Utf8ToUtf16Le(name).size() / 2;
}

} // namespace

struct TImageRegistry::TImpl {
  // One hive file, opened on first use.
  struct TMount {
    std::string name;                      // its key name under HKLM or HKEY_USERS
    std::vector<std::string> windowsPaths; // where the file may be, first found wins
    std::string windowsPath;               // the one found
    THiveHandle hive;
    bool tried = false;
    bool writable = false;
    bool isSoftware = false;
    bool isSystem = false;
    // Bumped whenever nodes may have changed; handles then find their key again by path.
    std::uint64_t generation = 1;
  };

  struct TKey {
    HKEY root = 0;           // for a key that is no hive key: the predefined root it stands for
    TMount* mount = nullptr; // null: HKLM, HKEY_USERS or an empty root
    TPath logical;           // the path below the hive root as the caller named it
    TPath physical;          // the same after redirection
    bool view32 = false;
    hive_node_h node = 0;
    std::uint64_t generation = 0;
    bool haveChildren = false;
    std::vector<hive_node_h> children;
    bool haveValues = false;
    std::vector<hive_value_h> values;
    // The values by folded name, built on the first read: a key read value by value (a
    // hostile one may hold a million) costs one walk of its values, not one per read.
    bool haveValueIndex = false;
    std::unordered_map<std::string, hive_value_h> valueIndex;
  };

  TImpl(TImageFileSystem& f, const TImageConfig& c) : files(f), config(c) {
    for (const char* name : {"SAM", "SOFTWARE", "SYSTEM"}) {
      auto m = std::make_unique<TMount>();
      m->name = name;
      m->windowsPaths = {std::string(kConfigFolder) + name};
      m->isSoftware = m->name == "SOFTWARE";
      m->isSystem = m->name == "SYSTEM";
      machine.push_back(std::move(m));
    }
    defaultUser = std::make_unique<TMount>();
    defaultUser->name = ".DEFAULT";
    defaultUser->windowsPaths = {std::string(kConfigFolder) + "DEFAULT"};
  }

  TImageFileSystem& files;
  TImageConfig config;
  std::mutex mutex;
  std::vector<std::unique_ptr<TMount>> machine;
  std::unique_ptr<TMount> defaultUser;
  std::vector<std::unique_ptr<TMount>> users; // <SID> and <SID>_Classes, in ProfileList order
  bool profilesLoaded = false;
  std::vector<TProfile> profiles;
  bool currentUserKnown = false;
  std::string currentUser;
  std::map<HKEY, TKey> keys;
  HKEY nextHandle = 0x1000;

  // --- Hives ------------------------------------------------------------------------------

  // hivex opens files by name; it gets the file the image's own path rules found, held open,
  // so no link in the image can hand it a host file.
  THiveHandle OpenMounted(const std::string& windowsPath, bool writable) {
    const std::unique_ptr<TImageFileSystem::TLibraryFile> file = files.OpenForLibrary(windowsPath);
    return file ? OpenHive(file->path, writable) : nullptr;
  }

  bool EnsureOpen(TMount& m) {
    if (m.tried)
      return m.hive != nullptr;
    m.tried = true;
    for (const std::string& windowsPath : m.windowsPaths) {
      THiveHandle hive = OpenMounted(windowsPath, false);
      if (hive && HiveTreeIsSound(hive.get())) {
        m.windowsPath = windowsPath;
        m.hive = std::move(hive);
        return true;
      }
    }
    return false;
  }

  LONG MakeWritable(TMount& m) {
    if (m.writable)
      return ERROR_SUCCESS;
    // A hive without any write permission counts as read-only, as Windows keeps a file with the
    // read-only attribute, even for a user who could override it.
    const DWORD attributes = files.Attributes(m.windowsPath);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) != 0)
      return ERROR_ACCESS_DENIED;
    THiveHandle hive = OpenMounted(m.windowsPath, true);
    if (!hive)
      return ERROR_ACCESS_DENIED;
    m.hive = std::move(hive);
    m.writable = true;
    ++m.generation;
    return ERROR_SUCCESS;
  }

  // Drops changes that were not committed: the file still holds the last committed state.
  void Reload(TMount& m) {
    m.hive = OpenMounted(m.windowsPath, true);
    m.writable = m.hive != nullptr;
    ++m.generation;
  }

  // The hive is written to a new file beside it, flushed, and replaces the old one only then
  // (keeping its permissions); on failure the file is untouched and the new one removed.
  bool CommitMounted(TMount& m) {
    std::string tempPath;
    const std::unique_ptr<TImageFileSystem::TLibraryFile> temp =
        files.CreateBeside(m.windowsPath, tempPath);
    if (!temp)
      return false;
    const bool written = hivex_commit(m.hive.get(), temp->path.c_str(), 0) == 0 &&
                         ::fsync(temp->fd) == 0 && files.Replace(m.windowsPath, tempPath);
    if (!written)
      files.Delete(tempPath);
    return written;
  }

  LONG Commit(TMount& m) {
    ++m.generation;
    if (CommitMounted(m))
      return ERROR_SUCCESS;
    Reload(m);
    return ERROR_CANTWRITE;
  }

  TMount* Machine(std::string_view name) {
    for (auto& m : machine)
      if (SameRegistryName(m->name, name))
        return m.get();
    return nullptr;
  }

  TMount* User(std::string_view name) {
    if (SameRegistryName(name, defaultUser->name))
      return defaultUser.get();
    LoadProfiles();
    for (auto& m : users)
      if (SameRegistryName(m->name, name))
        return m.get();
    return nullptr;
  }

  // The control set that CurrentControlSet stands for on a running system.
  std::string CurrentControlSetName(hive_h* h) {
    unsigned current = 1;
    if (const hive_node_h select = FindChild(h, hivex_root(h), "Select"))
      if (const hive_value_h v = FindValue(h, select, "Current")) {
        DWORD type = 0;
        std::string bytes;
        if (ReadValue(h, v, type, bytes) && type == REG_DWORD && bytes.size() == 4)
          current =
              static_cast<unsigned char>(bytes[0]) | (static_cast<unsigned char>(bytes[1]) << 8);
      }
    char name[32];
    std::snprintf(name, sizeof name, "ControlSet%03u", current);
    return name;
  }

  // The child of node named by the path component at index, 0 when there is none.
  hive_node_h Step(TMount& m, hive_node_h node, std::size_t index, const std::string& name) {
    hive_h* h = m.hive.get();
    const hive_node_h next = FindChild(h, node, name);
    // CurrentControlSet is a link the running system makes; the hive file has none.
    if (!next && index == 0 && m.isSystem && SameRegistryName(name, "CurrentControlSet"))
      return FindChild(h, node, CurrentControlSetName(h));
    return next;
  }

  // The node at a physical path below the hive root, 0 when a component is missing.
  hive_node_h Walk(TMount& m, const TPath& path) {
    hive_node_h node = m.hive ? hivex_root(m.hive.get()) : 0;
    for (std::size_t i = 0; node && i < path.size(); ++i)
      node = Step(m, node, i, path[i]);
    return node;
  }

  bool HasWow64Node(TMount& m) {
    return m.hive && FindChild(m.hive.get(), hivex_root(m.hive.get()), kWow64Node);
  }

  TPath Physical(TMount& m, const TPath& logical, bool view32) {
    if (!view32 || !m.isSoftware || !HasWow64Node(m))
      return logical;
    if (!logical.empty() && SameRegistryName(logical[0], kWow64Node))
      return logical;
    for (const TPath& shared : kSharedKeys)
      if (StartsWith(logical, shared))
        return logical;
    TPath redirected{kWow64Node};
    redirected.insert(redirected.end(), logical.begin(), logical.end());
    return redirected;
  }

  // --- Profiles and the current user --------------------------------------------------------

  void LoadProfiles() {
    if (profilesLoaded)
      return;
    profilesLoaded = true;
    TMount* software = Machine("SOFTWARE");
    if (!software || !EnsureOpen(*software))
      return;
    hive_h* h = software->hive.get();
    const hive_node_h list = Walk(*software, kProfileListPath);
    const TMallocPtr<hive_node_h> children(list ? hivex_node_children(h, list) : nullptr);
    if (!children)
      return;
    for (const hive_node_h* c = children.get(); *c; ++c) {
      const TMallocPtr<char> name(hivex_node_name(h, *c));
      SID binary;
      // Windows keeps "<SID>.bak" entries beside broken profiles; they are never loaded.
      if (!name || !ConvertStringSidToSid(name.get(), binary))
        continue;
      const hive_value_h v = FindValue(h, *c, "ProfileImagePath");
      DWORD type = 0;
      std::string bytes;
      if (!v || !ReadValue(h, v, type, bytes) || (type != REG_SZ && type != REG_EXPAND_SZ))
        continue;
      std::string text = DecodeValueData(REG_SZ, bytes);
      text.pop_back(); // the terminator
      const std::string folder = ExpandProfilePath(text);
      if (folder.empty())
        continue;
      profiles.push_back({name.get(), folder});
      auto hive = std::make_unique<TMount>();
      hive->name = name.get();
      hive->windowsPaths = {folder + "\\NTUSER.DAT"};
      users.push_back(std::move(hive));
      auto classes = std::make_unique<TMount>();
      classes->name = std::string(name.get()) + "_Classes";
      classes->windowsPaths = {
          folder + "\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat",
          folder + "\\Local Settings\\Application Data\\Microsoft\\Windows\\UsrClass.dat"};
      users.push_back(std::move(classes));
    }
  }

  std::string DefaultUserName() {
    TMount* software = Machine("SOFTWARE");
    if (!software || !EnsureOpen(*software))
      return {};
    hive_h* h = software->hive.get();
    const hive_node_h winlogon = Walk(*software, kWinlogonPath);
    const hive_value_h v = winlogon ? FindValue(h, winlogon, "DefaultUserName") : 0;
    DWORD type = 0;
    std::string bytes;
    if (!v || !ReadValue(h, v, type, bytes) || (type != REG_SZ && type != REG_EXPAND_SZ))
      return {};
    std::string name = DecodeValueData(REG_SZ, bytes);
    name.pop_back();
    return name;
  }

  const std::string& CurrentUser() {
    if (currentUserKnown)
      return currentUser;
    currentUserKnown = true;
    LoadProfiles();
    std::vector<const TProfile*> candidates;
    for (const TProfile& p : profiles)
      if (!IsSystemSid(p.sid))
        candidates.push_back(&p);

    // An explicit choice that names no profile leaves the session without a user.
    if (!config.user.empty()) {
      for (const TProfile* p : candidates)
        if (SameRegistryName(p->sid, config.user) ||
            SameRegistryName(LastComponent(p->folder), config.user)) {
          currentUser = p->sid;
          break;
        }
      return currentUser;
    }
    if (const std::string last = DefaultUserName(); !last.empty())
      for (const TProfile* p : candidates)
        if (SameRegistryName(LastComponent(p->folder), last)) {
          currentUser = p->sid;
          return currentUser;
        }
    // The user whose hive changed last is the one who was logged on last.
    std::uint64_t newest = 0;
    for (const TProfile* p : candidates) {
      WIN32_FIND_DATA data;
      const HANDLE find = files.FindFirst(p->folder + "\\NTUSER.DAT", data);
      if (find == INVALID_HANDLE_VALUE)
        continue;
      files.FindEnd(find);
      const std::uint64_t written = FileTimeToU64(data.ftLastWriteTime);
      if (currentUser.empty() || written > newest) {
        newest = written;
        currentUser = p->sid;
      }
    }
    return currentUser;
  }

  // --- Keys ---------------------------------------------------------------------------------

  // Finds a handle's node again after the hive changed.
  LONG Validate(TKey& k) {
    if (!k.mount)
      return ERROR_SUCCESS;
    TMount& m = *k.mount;
    if (!m.hive)
      return ERROR_KEY_DELETED;
    if (k.node && k.generation == m.generation)
      return ERROR_SUCCESS;
    const hive_node_h node = Walk(m, k.physical);
    if (!node)
      return ERROR_KEY_DELETED;
    k.node = node;
    k.generation = m.generation;
    k.haveChildren = k.haveValues = k.haveValueIndex = false;
    return ERROR_SUCCESS;
  }

  // The value of that name (the first of equal names, as FindValue answers), 0 when none.
  hive_value_h FindKeyValue(TKey& k, const std::string& name) {
    hive_h* h = k.mount->hive.get();
    if (!k.haveValueIndex) {
      k.valueIndex.clear();
      const TMallocPtr<hive_value_h> values(hivex_node_values(h, k.node));
      if (!values)
        return 0;
      for (const hive_value_h* v = values.get(); *v; ++v)
        if (const TMallocPtr<char> key(hivex_value_key(h, *v)); key)
          k.valueIndex.emplace(FoldedName(key.get()), *v);
      k.haveValueIndex = true;
    }
    const auto found = k.valueIndex.find(FoldedName(name));
    return found == k.valueIndex.end() ? 0 : found->second;
  }

  bool MakePredefined(HKEY root, TKey& k) {
    k.root = root;
    if (root == HKEY_CURRENT_USER) {
      const std::string& sid = CurrentUser();
      TMount* m = sid.empty() ? nullptr : User(sid);
      if (!m || !EnsureOpen(*m))
        return false;
      k.mount = m;
    } else if (root == HKEY_CLASSES_ROOT) {
      TMount* m = Machine("SOFTWARE");
      if (!m || !EnsureOpen(*m))
        return false;
      k.mount = m;
      k.logical = k.physical = {"Classes"};
    }
    return true;
  }

  LONG Lookup(HKEY handle, TKey*& key) {
    if (const auto it = keys.find(handle); it != keys.end()) {
      key = &it->second;
      const LONG r = Validate(*key);
      return r != ERROR_SUCCESS && IsPredefined(handle) ? ERROR_FILE_NOT_FOUND : r;
    }
    if (!IsPredefined(handle))
      return ERROR_INVALID_HANDLE;
    TKey k;
    if (!MakePredefined(handle, k))
      return ERROR_FILE_NOT_FOUND;
    key = &keys.emplace(handle, std::move(k)).first->second;
    return Validate(*key) == ERROR_SUCCESS ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  }

  HKEY NewHandle(TKey&& k) {
    const HKEY handle = nextHandle;
    nextHandle += 4;
    keys.emplace(handle, std::move(k));
    return handle;
  }

  // Opens (or creates) subKey below parent. The view of the new key: a key opened below a key of
  // the 32-bit view stays in it; otherwise KEY_WOW64_64KEY picks the native keys and anything
  // else the 32-bit view, as a 32-bit process gets it.
  LONG Open(const TKey& parent, std::string_view subKey, REGSAM sam, bool create, TKey& out,
            DWORD* disposition) {
    TPath comps = SplitKeyPath(subKey);
    const bool want32 = (sam & KEY_WOW64_64KEY) == 0;
    TKey key;
    if (!parent.mount) {
      if (comps.empty()) {
        out.root = parent.root;
        if (disposition)
          *disposition = REG_OPENED_EXISTING_KEY;
        return ERROR_SUCCESS;
      }
      TMount* m = parent.root == HKEY_LOCAL_MACHINE ? Machine(comps[0])
                  : parent.root == HKEY_USERS       ? User(comps[0])
                                                    : nullptr;
      if (!m || !EnsureOpen(*m))
        return create && !m ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
      key.mount = m;
      key.view32 = want32;
      key.logical.assign(comps.begin() + 1, comps.end());
    } else {
      key.mount = parent.mount;
      key.view32 = parent.view32 || want32;
      key.logical = parent.logical;
      key.logical.insert(key.logical.end(), comps.begin(), comps.end());
    }
    TMount& m = *key.mount;
    key.physical = Physical(m, key.logical, key.view32);

    if (!m.hive)
      return ERROR_KEY_DELETED;
    if (Walk(m, key.physical)) {
      if (disposition)
        *disposition = REG_OPENED_EXISTING_KEY;
    } else {
      if (!create)
        return ERROR_FILE_NOT_FOUND;
      for (const std::string& name : key.physical)
        if (Utf16Length(name) > kMaxKeyNameUnits)
          return ERROR_INVALID_PARAMETER;
      if (const LONG r = MakeWritable(m); r != ERROR_SUCCESS)
        return r;
      hive_h* h = m.hive.get();
      hive_node_h node = hivex_root(h);
      for (std::size_t i = 0; node && i < key.physical.size(); ++i) {
        const hive_node_h next = Step(m, node, i, key.physical[i]);
        node = next ? next : AddChild(h, node, key.physical[i]);
      }
      if (!node) {
        Reload(m);
        return ERROR_CANTWRITE;
      }
      if (const LONG r = Commit(m); r != ERROR_SUCCESS)
        return r;
      if (disposition)
        *disposition = REG_CREATED_NEW_KEY;
    }
    out = std::move(key);
    out.generation = 0; // found again by path on first use
    return ERROR_SUCCESS;
  }

  std::vector<std::string> VirtualChildren(HKEY root) {
    std::vector<std::string> names;
    if (root == HKEY_LOCAL_MACHINE) {
      for (auto& m : machine)
        if (EnsureOpen(*m))
          names.push_back(m->name);
    } else if (root == HKEY_USERS) {
      LoadProfiles();
      if (EnsureOpen(*defaultUser))
        names.push_back(defaultUser->name);
      for (auto& m : users)
        if (EnsureOpen(*m))
          names.push_back(m->name);
    }
    return names;
  }

  // Prepares a write to a hive key: the hive in memory, the handle's node found again.
  LONG PrepareWrite(TKey& k) {
    if (!k.mount)
      return ERROR_ACCESS_DENIED;
    if (const LONG r = MakeWritable(*k.mount); r != ERROR_SUCCESS)
      return r;
    return Validate(k);
  }
};

TImageRegistry::TImageRegistry(TImageFileSystem& files, const TImageConfig& config)
    : impl_(std::make_unique<TImpl>(files, config)) {}

TImageRegistry::~TImageRegistry() = default;

std::int32_t TImageRegistry::Open(HKEY key, const std::string& subKey, DWORD /*options*/,
                                  REGSAM samDesired, HKEY& result) {
  std::lock_guard lock(impl_->mutex);
  result = 0;
  TImpl::TKey* parent = nullptr;
  if (const LONG r = impl_->Lookup(key, parent); r != ERROR_SUCCESS)
    return r;
  TImpl::TKey child;
  if (const LONG r = impl_->Open(*parent, subKey, samDesired, false, child, nullptr);
      r != ERROR_SUCCESS)
    return r;
  result = impl_->NewHandle(std::move(child));
  return ERROR_SUCCESS;
}

std::int32_t TImageRegistry::Create(HKEY key, const std::string& subKey, REGSAM samDesired,
                                    HKEY& result, DWORD* disposition) {
  std::lock_guard lock(impl_->mutex);
  result = 0;
  TImpl::TKey* parent = nullptr;
  if (const LONG r = impl_->Lookup(key, parent); r != ERROR_SUCCESS)
    return r;
  TImpl::TKey child;
  if (const LONG r = impl_->Open(*parent, subKey, samDesired, true, child, disposition);
      r != ERROR_SUCCESS)
    return r;
  result = impl_->NewHandle(std::move(child));
  return ERROR_SUCCESS;
}

std::int32_t TImageRegistry::Close(HKEY key) {
  std::lock_guard lock(impl_->mutex);
  if (IsPredefined(key))
    return ERROR_SUCCESS;
  return impl_->keys.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

std::int32_t TImageRegistry::QueryValue(HKEY key, const std::string& valueName, DWORD* type,
                                        std::string* data) {
  std::lock_guard lock(impl_->mutex);
  TImpl::TKey* k = nullptr;
  if (const LONG r = impl_->Lookup(key, k); r != ERROR_SUCCESS)
    return r;
  if (!k->mount)
    return ERROR_FILE_NOT_FOUND;
  hive_h* h = k->mount->hive.get();
  const hive_value_h v = impl_->FindKeyValue(*k, valueName);
  if (!v)
    return ERROR_FILE_NOT_FOUND;
  DWORD storedType = 0;
  std::string bytes;
  if (!ReadValue(h, v, storedType, bytes))
    return ERROR_BADDB;
  if (type)
    *type = storedType;
  if (data)
    *data = DecodeValueData(storedType, bytes);
  return ERROR_SUCCESS;
}

std::int32_t TImageRegistry::SetValue(HKEY key, const std::string& valueName, DWORD type,
                                      std::string_view data) {
  std::lock_guard lock(impl_->mutex);
  TImpl::TKey* k = nullptr;
  if (const LONG r = impl_->Lookup(key, k); r != ERROR_SUCCESS)
    return r;
  if (const LONG r = impl_->PrepareWrite(*k); r != ERROR_SUCCESS)
    return r;
  TImpl::TMount& m = *k->mount;
  if (!WriteValue(m.hive.get(), k->node, valueName, type, EncodeValueData(type, data))) {
    impl_->Reload(m);
    return ERROR_CANTWRITE;
  }
  return impl_->Commit(m);
}

std::int32_t TImageRegistry::DeleteValue(HKEY key, const std::string& valueName) {
  std::lock_guard lock(impl_->mutex);
  TImpl::TKey* k = nullptr;
  if (const LONG r = impl_->Lookup(key, k); r != ERROR_SUCCESS)
    return r;
  if (!k->mount)
    return ERROR_ACCESS_DENIED;
  if (!FindValue(k->mount->hive.get(), k->node, valueName))
    return ERROR_FILE_NOT_FOUND;
  if (const LONG r = impl_->PrepareWrite(*k); r != ERROR_SUCCESS)
    return r;
  TImpl::TMount& m = *k->mount;
  if (!RemoveValue(m.hive.get(), k->node, valueName)) {
    impl_->Reload(m);
    return ERROR_CANTWRITE;
  }
  return impl_->Commit(m);
}

// Deletes in the view of the key it is relative to (the 32-bit view for a predefined root).
std::int32_t TImageRegistry::DeleteKey(HKEY key, const std::string& subKey) {
  std::lock_guard lock(impl_->mutex);
  TImpl::TKey* parent = nullptr;
  if (const LONG r = impl_->Lookup(key, parent); r != ERROR_SUCCESS)
    return r;
  const REGSAM view = parent->mount && !parent->view32 ? KEY_WOW64_64KEY : 0;
  TImpl::TKey target;
  if (const LONG r = impl_->Open(*parent, subKey, view, false, target, nullptr); r != ERROR_SUCCESS)
    return r;
  if (!target.mount || target.logical.empty() || target.physical.empty())
    return ERROR_ACCESS_DENIED; // a hive's root or a predefined key
  if (const LONG r = impl_->PrepareWrite(target); r != ERROR_SUCCESS)
    return r;
  TImpl::TMount& m = *target.mount;
  if (hivex_node_nr_children(m.hive.get(), target.node) > 0)
    return ERROR_ACCESS_DENIED;
  if (hivex_node_delete_child(m.hive.get(), target.node) != 0) {
    impl_->Reload(m);
    return ERROR_CANTWRITE;
  }
  return impl_->Commit(m);
}

std::int32_t TImageRegistry::EnumKey(HKEY key, DWORD index, std::string& name) {
  std::lock_guard lock(impl_->mutex);
  TImpl::TKey* k = nullptr;
  if (const LONG r = impl_->Lookup(key, k); r != ERROR_SUCCESS)
    return r;
  if (!k->mount) {
    const std::vector<std::string> names = impl_->VirtualChildren(k->root);
    if (index >= names.size())
      return ERROR_NO_MORE_ITEMS;
    name = names[index];
    return ERROR_SUCCESS;
  }
  hive_h* h = k->mount->hive.get();
  if (!k->haveChildren) {
    const TMallocPtr<hive_node_h> children(hivex_node_children(h, k->node));
    if (!children)
      return ERROR_BADDB;
    k->children.clear();
    for (const hive_node_h* c = children.get(); *c; ++c)
      k->children.push_back(*c);
    k->haveChildren = true;
  }
  if (index >= k->children.size())
    return ERROR_NO_MORE_ITEMS;
  const TMallocPtr<char> childName(hivex_node_name(h, k->children[index]));
  if (!childName)
    return ERROR_BADDB;
  name = childName.get();
  return ERROR_SUCCESS;
}

std::int32_t TImageRegistry::EnumValue(HKEY key, DWORD index, std::string& name) {
  std::lock_guard lock(impl_->mutex);
  TImpl::TKey* k = nullptr;
  if (const LONG r = impl_->Lookup(key, k); r != ERROR_SUCCESS)
    return r;
  if (!k->mount)
    return ERROR_NO_MORE_ITEMS;
  hive_h* h = k->mount->hive.get();
  if (!k->haveValues) {
    const TMallocPtr<hive_value_h> values(hivex_node_values(h, k->node));
    if (!values)
      return ERROR_BADDB;
    k->values.clear();
    for (const hive_value_h* v = values.get(); *v; ++v)
      k->values.push_back(*v);
    k->haveValues = true;
  }
  if (index >= k->values.size())
    return ERROR_NO_MORE_ITEMS;
  const TMallocPtr<char> valueName(hivex_value_key(h, k->values[index]));
  if (!valueName)
    return ERROR_BADDB;
  name = valueName.get();
  return ERROR_SUCCESS;
}

std::string TImageRegistry::CurrentUserSid() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->CurrentUser();
}

std::string TImageRegistry::ProfileFolderOfSid(const std::string& sid) const {
  std::lock_guard lock(impl_->mutex);
  impl_->LoadProfiles();
  for (const TProfile& p : impl_->profiles)
    if (SameRegistryName(p.sid, sid))
      return p.folder;
  return {};
}

std::vector<TImageRegistry::TProfile> TImageRegistry::Profiles() const {
  std::lock_guard lock(impl_->mutex);
  impl_->LoadProfiles();
  return impl_->profiles;
}

} // namespace quillon::winapi::image
