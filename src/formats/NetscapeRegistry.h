#pragma once
// Reads the binary registry file older Mozilla-family browsers list their profiles in:
// "registry.dat" (Mozilla, Firebird, Beonex, K-Meleon), "nsreg.dat" (Netscape 4.x) and K-Meleon's
// "profiles.dat". The whole key tree is loaded once; lookups never touch the file again.
//
// File layout (little-endian, offsets from the start of the file): the root record's offset at
// byte 12; 32-byte records of
//   0 own offset (check value)   4 name offset   8 name length (16 bit)   10 type (16 bit, 1 = key)
//   12 next sibling   16 first subkey   20 key: first value entry / entry: value offset
//   24 value length   28 parent key's offset (0 for the root)

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quillon {

// One key or value entry of the tree. A key's Children hold its value entries first, then its
// subkeys, each group in the reverse of its order in the file (the browsers' own lookups
// answer in that order).
struct TDataRec {
  TDataRec* Parent = nullptr;
  bool IsValue = false;
  std::string Name;
  std::string Value;
  std::vector<std::unique_ptr<TDataRec>> Children;

  TDataRec() = default;
  TDataRec(const TDataRec&) = delete;
  TDataRec& operator=(const TDataRec&) = delete;
  // Tears the subtree down without recursing: a file decides how deep the tree is.
  ~TDataRec();
};

class TNSRegistry {
public:
  // A missing file gives an empty registry; a file that exists but cannot be read raises
  // EFOpenError, one larger than kNetscapeRegistryLimit or whose tree would take more memory
  // than a file of its size may EFileTooLarge. Bad content raises nothing else: unreadable
  // parts of the tree are left out.
  explicit TNSRegistry(const std::string& fileName);
  ~TNSRegistry();
  TNSRegistry(const TNSRegistry&) = delete;
  TNSRegistry& operator=(const TNSRegistry&) = delete;

  // The subkey names of a key ("Common\Profiles"), separated by CR LF; empty when not found.
  std::string GetKeyNames(std::string_view path) const;
  // The text of a value ("Common\Profiles\default\directory"); empty when not found.
  std::string ReadString(std::string_view path) const;
  // The node a "\"-separated path names below node (the first child of each name, keys and
  // entries alike, names compared ignoring the case of A to Z); null when there is none.
  const TDataRec* FindNode(std::string_view path, const TDataRec* node) const;

  // The root key; null when the file was missing or its root record was not readable.
  const TDataRec* Root() const { return root_.get(); }

private:
  struct TChildKey {
    const TDataRec* Parent;
    std::string_view Name; // refers to the child's own Name
  };
  struct TChildKeyHash {
    std::size_t operator()(const TChildKey& key) const;
  };
  struct TChildKeyEqual {
    bool operator()(const TChildKey& a, const TChildKey& b) const;
  };
  using TChildIndex = std::unordered_map<TChildKey, const TDataRec*, TChildKeyHash, TChildKeyEqual>;

  void LoadFile(const std::string& fileName);
  // False when the tree would take more memory than the file may.
  bool BuildTree(std::string_view file, std::size_t rootOffset);
  void BuildIndex();

  std::unique_ptr<TDataRec> root_;
  TChildIndex firstChild_;      // first child of a name, key or entry
  TChildIndex firstValueEntry_; // first value entry of a name
};

} // namespace quillon
