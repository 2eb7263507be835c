#include "winapi/image/Hive.h"

#include "winapi/CaseFold.h"
#include "winapi/LittleEndian.h"
#include "winapi/Utf16.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace quillon::winapi::image {

namespace {

struct TFreeDeleter {
  void operator()(void* p) const noexcept { std::free(p); }
};
template <class T> using TMallocPtr = std::unique_ptr<T, TFreeDeleter>;

std::size_t Align8(std::size_t n) {
  return (n + 7) & ~static_cast<std::size_t>(7);
}

std::uint64_t NowAsFileTime() {
  const auto since = std::chrono::system_clock::now().time_since_epoch();
  const auto units = std::chrono::duration_cast<std::chrono::microseconds>(since).count() * 10;
  return static_cast<std::uint64_t>(units) + 116444736000000000ull;
}

// A self-relative security descriptor that lets Everyone do anything, owned by Administrators,
// group SYSTEM. Windows and the hive readers only need it to be well formed.
std::string MinimalSecurityDescriptor() {
  const std::string everyone("\x01\x01\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00", 12);
  const std::string administrators(
      "\x01\x02\x00\x00\x00\x00\x00\x05\x20\x00\x00\x00\x20\x02\x00\x00", 16);
  const std::string system("\x01\x01\x00\x00\x00\x00\x00\x05\x12\x00\x00\x00", 12);
  constexpr std::size_t kHeader = 20;
  constexpr std::size_t kAce = 8 + 12;
  constexpr std::size_t kAcl = 8 + kAce;
  std::string sd(kHeader + kAcl, '\0');
  sd[0] = 1;                                  // revision
  PutU16At(sd, 2, 0x8004);                    // self-relative, DACL present
  PutU32At(sd, 4, kHeader + kAcl);            // owner
  PutU32At(sd, 8, kHeader + kAcl + 16);       // group
  PutU32At(sd, 12, 0);                        // no SACL
  PutU32At(sd, 16, kHeader);                  // DACL
  sd[kHeader] = 2;                            // ACL revision
  PutU16At(sd, kHeader + 2, kAcl);            // ACL size
  PutU16At(sd, kHeader + 4, 1);               // one ACE
  sd[kHeader + 8] = 0;                        // ACCESS_ALLOWED_ACE_TYPE
  sd[kHeader + 9] = 0x02;                     // CONTAINER_INHERIT_ACE
  PutU16At(sd, kHeader + 10, kAce);           // ACE size
  PutU32At(sd, kHeader + 12, KEY_ALL_ACCESS); // mask
  std::memcpy(sd.data() + kHeader + 16, everyone.data(), everyone.size());
  return sd + administrators + system;
}

void AppendUtf16(std::string& out, char32_t cp) {
  auto unit = [&](std::uint32_t u) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  };
  if (cp < 0x10000) {
    unit(cp);
  } else {
    cp -= 0x10000;
    unit(0xD800 + (cp >> 10));
    unit(0xDC00 + (cp & 0x3FF));
  }
}

// The UTF-16 code units of stored string data; an odd last byte is dropped.
std::u16string Units(std::string_view bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  return units;
}

std::string UnitsToUtf8(std::u16string_view units) {
  std::string out;
  out.reserve(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t cp = units[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

// The strings of REG_MULTI_SZ data, given as text with NUL separators: the list ends at the
// first empty string (a double NUL) or at the end of the data.
template <class Str, class View> std::vector<Str> SplitMulti(View text) {
  std::vector<Str> out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(static_cast<typename View::value_type>(0), start);
    if (end == View::npos)
      end = text.size();
    if (end == start)
      break;
    out.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

// hivex keeps a value's type in its enum, yet the registry allows any 32-bit type (the SAM keeps
// RIDs there). The enum is stored as a 32-bit word; we hand hivex such a word and never hold a
// type outside the enumerators in an enum object.
static_assert(sizeof(hive_type) == sizeof(DWORD));
hive_type* TypeSlot(DWORD& t) {
  return reinterpret_cast<hive_type*>(&t);
}
void SetType(hive_set_value& v, DWORD type) {
  std::memcpy(&v.t, &type, sizeof type);
}

} // namespace

THiveHandle OpenHive(const std::string& hostPath, bool writable) {
  if (hostPath.empty())
    return nullptr;
  return THiveHandle(hivex_open(hostPath.c_str(), writable ? HIVEX_OPEN_WRITE : 0));
}

bool HiveTreeIsSound(hive_h* h) {
  constexpr int kMaxKeyDepth = 512; // Windows' own limit of key nesting
  const hive_node_h root = hivex_root(h);
  if (!root)
    return false;
  std::vector<std::pair<hive_node_h, int>> pending{{root, 0}};
  std::unordered_set<hive_node_h> seen;
  while (!pending.empty()) {
    const auto [node, depth] = pending.back();
    pending.pop_back();
    if (depth > kMaxKeyDepth || !seen.insert(node).second)
      return false;
    const TMallocPtr<hive_value_h> values(hivex_node_values(h, node));
    const TMallocPtr<hive_node_h> children(hivex_node_children(h, node));
    if (!values || !children)
      return false;
    for (const hive_node_h* c = children.get(); *c; ++c)
      pending.emplace_back(*c, depth + 1);
  }
  return true;
}

void StampBaseBlockChecksum(std::string& hive) {
  std::uint32_t checksum = 0;
  for (std::size_t off = 0; off < kBaseBlockChecksumOffset; off += 4)
    checksum ^= ReadU32At(hive, off).value_or(0);
  // Windows reserves both of these values.
  if (checksum == 0xFFFFFFFFu)
    checksum = 0xFFFFFFFEu;
  else if (checksum == 0)
    checksum = 1;
  PutU32At(hive, kBaseBlockChecksumOffset, checksum);
}

// Base block (4 KiB), then one 4 KiB hive bin holding the root key, its security cell and one
// free cell for the rest. Offsets inside the bin data are relative to the first bin.
std::string EmptyHiveBytes(std::string_view rootName) {
  constexpr std::size_t kBaseBlock = 0x1000;
  constexpr std::size_t kBinSize = 0x1000;
  constexpr std::size_t kRootOffset = 0x20;
  const std::uint64_t now = NowAsFileTime();
  std::string file(kBaseBlock + kBinSize, '\0');

  const std::size_t nameLen = std::min<std::size_t>(rootName.size(), 255);
  const std::size_t nkSize = Align8(4 + 0x4C + nameLen);
  const std::string sd = MinimalSecurityDescriptor();
  const std::size_t skOffset = kRootOffset + nkSize;
  const std::size_t skSize = Align8(4 + 0x14 + sd.size());
  const std::size_t freeOffset = skOffset + skSize;

  // Base block.
  std::memcpy(file.data(), "regf", 4);
  PutU32At(file, 0x04, 1); // primary sequence number
  PutU32At(file, 0x08, 1); // secondary sequence number (equal: the hive is consistent)
  PutU64At(file, 0x0C, now);
  PutU32At(file, 0x14, 1); // major version
  PutU32At(file, 0x18, 5); // minor version
  PutU32At(file, 0x1C, 0); // primary file
  PutU32At(file, 0x20, 1); // direct memory load format
  PutU32At(file, 0x24, kRootOffset);
  PutU32At(file, 0x28, kBinSize);
  PutU32At(file, 0x2C, 1); // clustering factor
  StampBaseBlockChecksum(file);

  // Hive bin header.
  const std::size_t bin = kBaseBlock;
  std::memcpy(file.data() + bin, "hbin", 4);
  PutU32At(file, bin + 0x04, 0);
  PutU32At(file, bin + 0x08, kBinSize);
  PutU64At(file, bin + 0x14, now);

  // Root key: a used cell (negative size) holding the "nk" record.
  const std::size_t nk = bin + kRootOffset;
  PutU32At(file, nk, static_cast<std::uint32_t>(-static_cast<std::int32_t>(nkSize)));
  const std::size_t k = nk + 4;
  std::memcpy(file.data() + k, "nk", 2);
  PutU16At(file, k + 0x02, 0x2C); // hive entry, cannot be deleted, name in ASCII
  PutU64At(file, k + 0x04, now);
  PutU32At(file, k + 0x10, 0xFFFFFFFFu); // no parent
  PutU32At(file, k + 0x1C, 0xFFFFFFFFu); // no sub-key list
  PutU32At(file, k + 0x20, 0xFFFFFFFFu); // no volatile sub-key list
  PutU32At(file, k + 0x28, 0xFFFFFFFFu); // no value list
  PutU32At(file, k + 0x2C, skOffset);
  PutU32At(file, k + 0x30, 0xFFFFFFFFu); // no class name
  PutU16At(file, k + 0x48, static_cast<std::uint16_t>(nameLen));
  std::memcpy(file.data() + k + 0x4C, rootName.data(), nameLen);

  // Security cell, linked to itself as the only one of the hive.
  const std::size_t sk = bin + skOffset;
  PutU32At(file, sk, static_cast<std::uint32_t>(-static_cast<std::int32_t>(skSize)));
  std::memcpy(file.data() + sk + 4, "sk", 2);
  PutU32At(file, sk + 4 + 0x04, skOffset);
  PutU32At(file, sk + 4 + 0x08, skOffset);
  PutU32At(file, sk + 4 + 0x0C, 1); // reference count
  PutU32At(file, sk + 4 + 0x10, static_cast<std::uint32_t>(sd.size()));
  std::memcpy(file.data() + sk + 4 + 0x14, sd.data(), sd.size());

  // The rest of the bin is one free cell (positive size).
  PutU32At(file, bin + freeOffset, static_cast<std::uint32_t>(kBinSize - freeOffset));
  return file;
}

bool CreateEmptyHive(const std::string& hostPath, std::string_view rootName) {
  std::ofstream out(hostPath, std::ios::binary | std::ios::trunc);
  if (!out)
    return false;
  const std::string bytes = EmptyHiveBytes(rootName);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

std::string CommitTempPath(const std::string& hostPath) {
  return hostPath + ".quillon-new";
}

bool CommitHive(hive_h* h, const std::string& hostPath) {
  if (!h || hostPath.empty())
    return false;
  const std::string temp = CommitTempPath(hostPath);
  auto discard = [&] {
    ::unlink(temp.c_str()); // fails harmlessly when something that is no file is in the way
    return false;
  };
  if (hivex_commit(h, temp.c_str(), 0) != 0)
    return discard();
  // The new file takes the place of the old one with its permissions.
  struct stat original {};
  if (::stat(hostPath.c_str(), &original) == 0 &&
      ::chmod(temp.c_str(), original.st_mode & 07777) != 0)
    return discard();
  const int fd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return discard();
  const bool flushed = ::fsync(fd) == 0;
  ::close(fd);
  if (!flushed || ::rename(temp.c_str(), hostPath.c_str()) != 0)
    return discard();
  return true;
}

std::string Utf8ToUtf16Le(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  std::size_t i = 0;
  while (i < text.size()) {
    char32_t cp = 0;
    i += DecodeUtf8(text, i, cp);
    if (cp >= 0xDC80 && cp <= 0xDCFF)
      cp = 0xFFFD; // an invalid UTF-8 byte
    AppendUtf16(out, cp);
  }
  return out;
}

std::string EncodeValueData(DWORD type, std::string_view data) {
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    const auto nul = data.find('\0');
    return Utf8ToUtf16Le(data.substr(0, nul)) + std::string(2, '\0');
  }
  if (type == REG_MULTI_SZ) {
    std::string out;
    for (const std::string_view s : SplitMulti<std::string_view>(data))
      out += Utf8ToUtf16Le(s) + std::string(2, '\0');
    return out + std::string(2, '\0');
  }
  return std::string(data);
}

std::string DecodeValueData(DWORD type, std::string_view stored) {
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    std::u16string units = Units(stored);
    const auto nul = units.find(u'\0');
    if (nul != std::u16string::npos)
      units.resize(nul);
    return UnitsToUtf8(units) + '\0';
  }
  if (type == REG_MULTI_SZ) {
    const std::u16string units = Units(stored);
    std::string out;
    for (const auto& s : SplitMulti<std::u16string_view>(std::u16string_view(units)))
      out += UnitsToUtf8(s) + '\0';
    return out + '\0';
  }
  return std::string(stored);
}

bool SameRegistryName(std::string_view a, std::string_view b) {
  return SameName(a, b);
}

std::vector<std::string> SplitKeyPath(std::string_view path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string_view::npos)
      end = path.size();
    if (end > start)
      parts.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

hive_node_h FindChild(hive_h* h, hive_node_h node, std::string_view name) {
  // Our own comparison, not hivex's: that one depends on the C locale and knows only ASCII.
  const TMallocPtr<hive_node_h> children(hivex_node_children(h, node));
  if (!children)
    return 0;
  for (const hive_node_h* c = children.get(); *c; ++c) {
    const TMallocPtr<char> childName(hivex_node_name(h, *c));
    if (childName && SameRegistryName(childName.get(), name))
      return *c;
  }
  return 0;
}

hive_value_h FindValue(hive_h* h, hive_node_h node, std::string_view name) {
  const TMallocPtr<hive_value_h> values(hivex_node_values(h, node));
  if (!values)
    return 0;
  for (const hive_value_h* v = values.get(); *v; ++v) {
    const TMallocPtr<char> key(hivex_value_key(h, *v));
    if (key && SameRegistryName(key.get(), name))
      return *v;
  }
  return 0;
}

bool ReadValue(hive_h* h, hive_value_h value, DWORD& type, std::string& bytes) {
  size_t len = 0;
  errno = 0;
  const TMallocPtr<char> data(hivex_value_value(h, value, TypeSlot(type), &len));
  if (!data)
    return false;
  bytes.assign(data.get(), len);
  return true;
}

bool WriteValue(hive_h* h, hive_node_h node, std::string_view name, DWORD type,
                std::string_view bytes) {
  // A replaced value keeps the name it has, as the registry keeps it.
  std::string key(name);
  if (const hive_value_h existing = FindValue(h, node, name)) {
    const TMallocPtr<char> storedName(hivex_value_key(h, existing));
    if (storedName)
      key = storedName.get();
  }
  std::string data(bytes);
  hive_set_value v{};
  v.key = key.data();
  SetType(v, type);
  v.len = data.size();
  v.value = data.data();
  return hivex_node_set_value(h, node, &v, 0) == 0;
}

bool RemoveValue(hive_h* h, hive_node_h node, std::string_view name) {
  const TMallocPtr<hive_value_h> values(hivex_node_values(h, node));
  if (!values)
    return false;
  std::vector<std::string> keys, datas;
  std::vector<DWORD> types;
  bool found = false;
  for (const hive_value_h* v = values.get(); *v; ++v) {
    const TMallocPtr<char> key(hivex_value_key(h, *v));
    if (!key)
      return false;
    if (!found && SameRegistryName(key.get(), name)) {
      found = true;
      continue;
    }
    DWORD type = 0;
    std::string bytes;
    if (!ReadValue(h, *v, type, bytes))
      return false;
    keys.emplace_back(key.get());
    datas.push_back(std::move(bytes));
    types.push_back(type);
  }
  if (!found)
    return false;
  std::vector<hive_set_value> set(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    set[i].key = keys[i].data();
    SetType(set[i], types[i]);
    set[i].len = datas[i].size();
    set[i].value = datas[i].data();
  }
  return hivex_node_set_values(h, node, set.size(), set.data(), 0) == 0;
}

hive_node_h AddChild(hive_h* h, hive_node_h node, std::string_view name, bool* created) {
  if (created)
    *created = false;
  if (const hive_node_h existing = FindChild(h, node, name))
    return existing;
  const hive_node_h child = hivex_node_add_child(h, node, std::string(name).c_str());
  if (child && created)
    *created = true;
  return child;
}

} // namespace quillon::winapi::image
