#include "formats/NetscapeRegistry.h"

#include "formats/FileErrors.h"
#include "formats/StoreLimits.h"
#include "winapi/LittleEndian.h"
#include "winapi/TextCase.h"
#include "winapi/WinApi.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>

namespace quillon {

namespace {

constexpr std::size_t kRootOffsetPos = 12;
constexpr std::size_t kRecordSize = 32;
constexpr std::uint16_t kTypeKey = 1;

struct TRecord {
  std::uint32_t NameOffset = 0;
  std::uint16_t NameLength = 0;
  std::uint16_t Type = 0;
  std::uint32_t Next = 0;
  std::uint32_t FirstSubkey = 0;
  std::uint32_t FirstEntryOrValue = 0; // a key's first value entry, an entry's value bytes
  std::uint32_t ValueLength = 0;
};

// The record at offset when it passes the browsers' own checks: it lies inside the file (and
// does not end exactly at its end), names its own offset, and names the key it was reached
// through as its parent.
std::optional<TRecord> ReadAcceptedRecord(std::string_view file, std::uint32_t offset,
                                          std::uint32_t expectedParent) {
  if (offset <= kRootOffsetPos || std::uint64_t{offset} + kRecordSize >= file.size())
    return std::nullopt;
  const auto self = ReadU32At(file, offset);
  const auto parent = ReadU32At(file, offset + 28);
  if (!self || *self != offset || !parent || *parent != expectedParent)
    return std::nullopt;
  const auto nameOffset = ReadU32At(file, offset + 4);
  const auto nameLength = ReadU16At(file, offset + 8);
  const auto type = ReadU16At(file, offset + 10);
  const auto next = ReadU32At(file, offset + 12);
  const auto firstSubkey = ReadU32At(file, offset + 16);
  const auto firstEntry = ReadU32At(file, offset + 20);
  const auto valueLength = ReadU32At(file, offset + 24);
  if (!nameOffset || !nameLength || !type || !next || !firstSubkey || !firstEntry || !valueLength)
    return std::nullopt;
  return TRecord{*nameOffset, *nameLength, *type, *next, *firstSubkey, *firstEntry, *valueLength};
}

// The part of [offset, offset + length) that the file holds.
std::string_view ClampedRun(std::string_view file, std::uint64_t offset, std::uint64_t length) {
  if (offset >= file.size())
    return {};
  return file.substr(offset, std::min<std::uint64_t>(length, file.size() - offset));
}

// Names and values are single-byte text whose zero bytes (terminators, padding) are dropped.
std::string TextWithoutZeros(std::string_view run) {
  std::string text(run);
  std::erase(text, '\0');
  return text;
}

std::string_view WithoutRootPrefix(std::string_view path) {
  if (path.starts_with("/\\"))
    path.remove_prefix(2);
  return path;
}

// One sibling chain being read. Its records are built in file order; each key's own chains
// (entries, then subkeys) are read before the chain goes on, as the browsers walk it.
struct TChainWalk {
  TDataRec* Parent = nullptr; // null for the root's chain
  std::uint32_t ExpectedParent = 0;
  std::uint32_t Next = 0; // next record to read; 0 = the chain has ended
  std::vector<std::unique_ptr<TDataRec>> Built;
  // The chains of the key built last that are still to be read.
  std::uint32_t KeyOffset = 0;
  std::uint32_t PendingEntries = 0;
  std::uint32_t PendingSubkeys = 0;
};

} // namespace

TDataRec::~TDataRec() {
  std::vector<std::unique_ptr<TDataRec>> pending = std::move(Children);
  while (!pending.empty()) {
    std::unique_ptr<TDataRec> node = std::move(pending.back());
    pending.pop_back();
    for (auto& child : node->Children)
      pending.push_back(std::move(child));
    node->Children.clear();
  }
}

std::size_t TNSRegistry::TChildKeyHash::operator()(const TChildKey& key) const {
  std::size_t h = std::hash<const void*>{}(key.Parent);
  for (const char c : key.Name)
    h = (h ^ static_cast<unsigned char>(LowerAscii(c))) * 1099511628211ull;
  return h;
}

bool TNSRegistry::TChildKeyEqual::operator()(const TChildKey& a, const TChildKey& b) const {
  return a.Parent == b.Parent && SameTextAscii(a.Name, b.Name);
}

TNSRegistry::TNSRegistry(const std::string& fileName) {
  if (winapi::FileExists(fileName))
    LoadFile(fileName);
}

TNSRegistry::~TNSRegistry() = default;

void TNSRegistry::LoadFile(const std::string& fileName) {
  CheckStoreSize(fileName, kNetscapeRegistryLimit, "a registry file");
  std::string file;
  if (!winapi::ReadWholeFile(fileName, file))
    RaiseFileOpenError(fileName);
  if (const auto rootOffset = ReadU32At(file, kRootOffsetPos)) {
    if (!BuildTree(file, *rootOffset)) {
      root_.reset();
      throw EFileTooLarge(std::string(StoreFileName(fileName)) +
                          " holds so many keys, or names them so long, that listing them would "
                          "take more than the " +
                          SizeText(StoreMemoryBudget(file.size())) + " of memory a file of " +
                          SizeText(file.size()) + " may use; not read");
    }
  }
  BuildIndex();
}

bool TNSRegistry::BuildTree(std::string_view file, std::size_t rootOffset) {
  // Records can overlap and many can name the same long run of bytes, so a small file can stand
  // for a tree far larger than itself: what the tree takes is counted as it grows, and it may
  // take no more than a file of its size may.
  const std::uint64_t budget = StoreMemoryBudget(file.size());
  // What a record takes besides its name and value: the node, its slots in the chain being read
  // and in its parent's children (each growing by doubling), its nodes and buckets in both
  // indexes, and the walk of its chain.
  constexpr std::uint64_t kRecordCost =
      AllocationCost(sizeof(TDataRec)) + 4 * sizeof(void*) +
      2 * (AllocationCost(sizeof(TChildIndex::value_type) + 2 * sizeof(void*)) +
           2 * sizeof(void*)) +
      2 * sizeof(TChainWalk);
  // A record is read once: a link back to one already read (a looping chain) ends that chain.
  // One mark per byte of the file, since a record may start at any of them.
  std::vector<bool> read(file.size());
  std::uint64_t used = file.size() + file.size() / 8;

  std::vector<TChainWalk> walks;
  walks.push_back(TChainWalk{nullptr, 0, static_cast<std::uint32_t>(rootOffset), {}, 0, 0, 0});
  while (!walks.empty()) {
    TChainWalk& walk = walks.back();
    if (walk.PendingEntries != 0 || walk.PendingSubkeys != 0) {
      std::uint32_t& pending = walk.PendingEntries != 0 ? walk.PendingEntries : walk.PendingSubkeys;
      TChainWalk inner{walk.Built.back().get(), walk.KeyOffset, pending, {}, 0, 0, 0};
      pending = 0;
      walks.push_back(std::move(inner)); // invalidates walk
      continue;
    }

    // The root's own siblings are attached nowhere, so they are not read at all.
    const bool chainGoesOn = walk.Next != 0 && walk.Next < read.size() && !read[walk.Next] &&
                             (walk.Parent != nullptr || walk.Built.empty());
    std::optional<TRecord> record;
    std::string_view name, value;
    if (chainGoesOn) {
      record = ReadAcceptedRecord(file, walk.Next, walk.ExpectedParent);
      if (record) {
        name = ClampedRun(file, record->NameOffset, record->NameLength);
        if (record->Type != kTypeKey)
          value = ClampedRun(file, record->FirstEntryOrValue, record->ValueLength);
        used += kRecordCost + StringHeapCost(name.size()) + StringHeapCost(value.size());
        if (used > budget)
          return false;
      }
    }

    if (!record) {
      // The chain ends here. Its nodes join the parent last first, as the browsers list them.
      if (walk.Parent != nullptr) {
        for (auto it = walk.Built.rbegin(); it != walk.Built.rend(); ++it)
          walk.Parent->Children.push_back(std::move(*it));
      } else if (!walk.Built.empty()) {
        root_ = std::move(walk.Built.front());
      }
      walks.pop_back();
      continue;
    }

    read[walk.Next] = true;
    auto node = std::make_unique<TDataRec>();
    node->Parent = walk.Parent;
    node->Name = TextWithoutZeros(name);
    if (record->Type == kTypeKey) {
      walk.KeyOffset = walk.Next;
      walk.PendingEntries = record->FirstEntryOrValue;
      walk.PendingSubkeys = record->FirstSubkey;
    } else {
      node->IsValue = true;
      node->Value = TextWithoutZeros(value);
    }
    walk.Built.push_back(std::move(node));
    walk.Next = record->Next;
  }
  return true;
}

void TNSRegistry::BuildIndex() {
  if (!root_)
    return;
  std::vector<const TDataRec*> pending{root_.get()};
  while (!pending.empty()) {
    const TDataRec* node = pending.back();
    pending.pop_back();
    for (const auto& child : node->Children) {
      firstChild_.emplace(TChildKey{node, child->Name}, child.get());
      if (child->IsValue)
        firstValueEntry_.emplace(TChildKey{node, child->Name}, child.get());
      else
        pending.push_back(child.get());
    }
  }
}

const TDataRec* TNSRegistry::FindNode(std::string_view path, const TDataRec* node) const {
  while (node != nullptr) {
    const std::size_t sep = path.find('\\');
    const std::string_view head = path.substr(0, sep);
    const std::string_view rest =
        sep == std::string_view::npos ? std::string_view{} : path.substr(sep + 1);
    const auto it = firstChild_.find(TChildKey{node, head});
    if (it == firstChild_.end())
      return nullptr;
    if (rest.empty())
      return it->second;
    // Only the first child of that name is searched further, as the browsers do.
    node = it->second;
    path = rest;
  }
  return nullptr;
}

std::string TNSRegistry::GetKeyNames(std::string_view path) const {
  const TDataRec* node = FindNode(WithoutRootPrefix(path), root_.get());
  std::string names;
  if (node == nullptr)
    return names;
  bool first = true;
  for (const auto& child : node->Children) {
    if (child->IsValue)
      continue;
    if (!first)
      names += "\r\n";
    names += child->Name;
    first = false;
  }
  return names;
}

std::string TNSRegistry::ReadString(std::string_view path) const {
  const std::size_t sep = path.rfind('\\');
  if (sep == std::string_view::npos)
    return {};
  const TDataRec* key = FindNode(WithoutRootPrefix(path.substr(0, sep)), root_.get());
  if (key == nullptr)
    return {};
  const auto it = firstValueEntry_.find(TChildKey{key, path.substr(sep + 1)});
  return it == firstValueEntry_.end() ? std::string{} : it->second->Value;
}

} // namespace quillon
