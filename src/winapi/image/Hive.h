#pragma once
// Registry hive files through hivex: an owning handle, the empty hive that hivex cannot create
// itself, committing beside the file, name lookups as the registry compares names, and the value
// encodings (UTF-16LE in the hive, UTF-8 in the program).

#include "winapi/WinApi.h"

#include <hivex.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::winapi::image {

struct THiveCloser {
  void operator()(hive_h* h) const noexcept { hivex_close(h); }
};
using THiveHandle = std::unique_ptr<hive_h, THiveCloser>;

// Opens a hive file; null when it is missing, unreadable or not a hive hivex accepts. A writable
// hive is read into memory, a read-only one is mapped.
THiveHandle OpenHive(const std::string& hostPath, bool writable);

// Walks the whole key tree without recursion: false when a key's sub-key or value list cannot be
// read, a key appears twice (a loop) or the tree is deeper than Windows allows.
bool HiveTreeIsSound(hive_h* h);

// Writes the checksum of the base block (the XOR of its first 127 double words) into it.
inline constexpr std::size_t kBaseBlockChecksumOffset = 0x1FC;
void StampBaseBlockChecksum(std::string& hive);

// The bytes of an empty hive: base block, one hive bin with the root key and the security cell
// that hivex copies into every key it adds.
std::string EmptyHiveBytes(std::string_view rootName = "ROOT");
// Writes an empty hive file (replacing one that is there); false when it cannot be written.
bool CreateEmptyHive(const std::string& hostPath, std::string_view rootName = "ROOT");

// Writes the in-memory hive to a temporary file beside hostPath, flushes it and renames it over
// hostPath (the image kit's hives; the image backend commits through its own file layer). On
// failure the file at hostPath is untouched and no temporary file is left.
bool CommitHive(hive_h* h, const std::string& hostPath);
// The temporary file CommitHive writes before the rename.
std::string CommitTempPath(const std::string& hostPath);

std::string Utf8ToUtf16Le(std::string_view text);

// Registry data as the hive stores it from data as RegSetValueExA takes it: string types from
// UTF-8 (terminators optional) to UTF-16LE with terminators, every other type unchanged.
std::string EncodeValueData(DWORD type, std::string_view data);
// Registry data as RegQueryValueExA returns it from the stored bytes: REG_SZ and REG_EXPAND_SZ as
// UTF-8 up to the first NUL plus one NUL; REG_MULTI_SZ as each string NUL-ended plus a final NUL;
// every other type as stored.
std::string DecodeValueData(DWORD type, std::string_view stored);

// Key and value names compare as the registry compares them: each character upper-cased.
bool SameRegistryName(std::string_view a, std::string_view b);

// Splits "A\B\C" into its components; empty components (leading, trailing or doubled "\") are
// dropped.
std::vector<std::string> SplitKeyPath(std::string_view path);

// The child key of node with that name, 0 when there is none.
hive_node_h FindChild(hive_h* h, hive_node_h node, std::string_view name);
// The value of node with that name ("" = the default value), 0 when there is none.
hive_value_h FindValue(hive_h* h, hive_node_h node, std::string_view name);
// The raw type and stored bytes of a value; false when hivex cannot read it.
bool ReadValue(hive_h* h, hive_value_h value, DWORD& type, std::string& bytes);

// Writes (adds or replaces) one value with already encoded bytes; the other values keep their
// order. The hive must be open for writing.
bool WriteValue(hive_h* h, hive_node_h node, std::string_view name, DWORD type,
                std::string_view bytes);
// Removes one value; false when it is absent or the hive refuses the change.
bool RemoveValue(hive_h* h, hive_node_h node, std::string_view name);
// The child key with that name, added when missing; 0 on failure.
hive_node_h AddChild(hive_h* h, hive_node_h node, std::string_view name, bool* created = nullptr);

} // namespace quillon::winapi::image
