#include "kit/NetscapeRegistryWriter.h"

#include "kit/HostFile.h"
#include "winapi/LittleEndian.h"

namespace quillon::kit {

namespace {

// The registry library's header: magic, version 1.2, end of used space, root record; the rest
// of its 128 bytes is reserved.
constexpr std::uint32_t kMagic = 0x76644441;
constexpr std::uint32_t kHeaderSize = 128;
constexpr std::uint32_t kRecordSize = 32;

std::vector<std::string_view> SplitPath(std::string_view path) {
  std::vector<std::string_view> parts;
  while (!path.empty()) {
    const std::size_t sep = path.find('\\');
    parts.push_back(path.substr(0, sep));
    if (sep == std::string_view::npos)
      break;
    path.remove_prefix(sep + 1);
  }
  return parts;
}

std::string JoinPath(const std::string& parent, const std::string& name) {
  return parent.empty() ? name : parent + "\\" + name;
}

} // namespace

struct TNetscapeRegistryWriter::TKey {
  struct TEntry {
    std::string Name;
    std::uint16_t Type = kNSRegTypeString;
    std::string Bytes;
  };
  std::string Name;
  std::vector<TEntry> Entries;
  std::vector<std::unique_ptr<TKey>> SubKeys;
};

namespace {

struct TPlacedEntry {
  std::uint32_t Record = 0;
  std::uint32_t Value = 0;
};

struct TPlacement {
  std::uint32_t Record = 0;
  std::vector<TPlacedEntry> Entries;
  std::vector<TPlacement> SubKeys;
};

} // namespace

TNetscapeRegistryWriter::TNetscapeRegistryWriter() : root_(std::make_unique<TKey>()) {
  root_->Name.push_back('/'); // the root key is named "/"
}

TNetscapeRegistryWriter::~TNetscapeRegistryWriter() = default;
TNetscapeRegistryWriter::TNetscapeRegistryWriter(TNetscapeRegistryWriter&&) noexcept = default;
TNetscapeRegistryWriter&
TNetscapeRegistryWriter::operator=(TNetscapeRegistryWriter&&) noexcept = default;

TNetscapeRegistryWriter::TKey& TNetscapeRegistryWriter::Key(std::string_view keyPath) {
  TKey* key = root_.get();
  for (const std::string_view part : SplitPath(keyPath)) {
    TKey* next = nullptr;
    for (const auto& sub : key->SubKeys) {
      if (sub->Name == part) {
        next = sub.get();
        break;
      }
    }
    if (next == nullptr) {
      key->SubKeys.push_back(std::make_unique<TKey>());
      next = key->SubKeys.back().get();
      next->Name = part;
    }
    key = next;
  }
  return *key;
}

void TNetscapeRegistryWriter::AddKey(std::string_view keyPath) {
  Key(keyPath);
}

void TNetscapeRegistryWriter::AddString(std::string_view keyPath, std::string_view name,
                                        std::string_view value) {
  std::string bytes(value);
  bytes += '\0';
  AddRaw(keyPath, name, kNSRegTypeString, bytes);
}

void TNetscapeRegistryWriter::AddRaw(std::string_view keyPath, std::string_view name,
                                     std::uint16_t type, std::string_view bytes) {
  Key(keyPath).Entries.push_back(TKey::TEntry{std::string(name), type, std::string(bytes)});
}

std::string TNetscapeRegistryWriter::Build(TNSRegistryLayout* layout) const {
  // First pass: every record, followed by its name and value bytes, in depth-first order.
  std::uint32_t next = kHeaderSize;
  const auto place = [&next](std::size_t payload) {
    const std::uint32_t at = next;
    next += kRecordSize + static_cast<std::uint32_t>(payload);
    return at;
  };
  const auto placeKey = [&](const auto& self, const TKey& key) -> TPlacement {
    TPlacement placed;
    placed.Record = place(key.Name.size() + 1);
    for (const auto& entry : key.Entries) {
      const std::uint32_t record = place(entry.Name.size() + 1 + entry.Bytes.size());
      placed.Entries.push_back(
          TPlacedEntry{record, record + kRecordSize + std::uint32_t(entry.Name.size()) + 1});
    }
    for (const auto& sub : key.SubKeys)
      placed.SubKeys.push_back(self(self, *sub));
    return placed;
  };
  const TPlacement rootPlacement = placeKey(placeKey, *root_);

  std::string out(next, '\0');
  PutU32At(out, 0, kMagic);
  PutU16At(out, 4, 1);
  PutU16At(out, 6, 2);
  PutU32At(out, 8, next);
  PutU32At(out, 12, rootPlacement.Record);

  const auto writeRecord = [&out](std::uint32_t at, std::string_view name, std::uint16_t type,
                                  std::uint32_t nextSibling, std::uint32_t down,
                                  std::uint32_t value, std::uint32_t valueLength,
                                  std::uint32_t parent) {
    PutU32At(out, at, at);
    PutU32At(out, at + 4, at + kRecordSize);
    PutU16At(out, at + 8, static_cast<std::uint16_t>(name.size() + 1));
    PutU16At(out, at + 10, type);
    PutU32At(out, at + 12, nextSibling);
    PutU32At(out, at + 16, down);
    PutU32At(out, at + 20, value);
    PutU32At(out, at + 24, valueLength);
    PutU32At(out, at + 28, parent);
    out.replace(at + kRecordSize, name.size(), name);
  };
  const auto writeKey = [&](const auto& self, const TKey& key, const TPlacement& placed,
                            std::uint32_t parent, std::uint32_t nextSibling,
                            const std::string& path) -> void {
    const std::uint32_t firstEntry = placed.Entries.empty() ? 0 : placed.Entries.front().Record;
    const std::uint32_t firstSub = placed.SubKeys.empty() ? 0 : placed.SubKeys.front().Record;
    writeRecord(placed.Record, key.Name, kNSRegTypeKey, nextSibling, firstSub, firstEntry, 0,
                parent);
    if (layout != nullptr && parent != 0)
      layout->Keys[path] = placed.Record;
    for (std::size_t i = 0; i < key.Entries.size(); ++i) {
      const auto& entry = key.Entries[i];
      const auto& where = placed.Entries[i];
      const std::uint32_t after = i + 1 < key.Entries.size() ? placed.Entries[i + 1].Record : 0;
      writeRecord(where.Record, entry.Name, entry.Type, after, 0, where.Value,
                  static_cast<std::uint32_t>(entry.Bytes.size()), placed.Record);
      out.replace(where.Value, entry.Bytes.size(), entry.Bytes);
      if (layout != nullptr)
        layout->Entries[JoinPath(path, entry.Name)] = where.Record;
    }
    for (std::size_t i = 0; i < key.SubKeys.size(); ++i) {
      const std::uint32_t after = i + 1 < key.SubKeys.size() ? placed.SubKeys[i + 1].Record : 0;
      self(self, *key.SubKeys[i], placed.SubKeys[i], placed.Record, after,
           JoinPath(path, key.SubKeys[i]->Name));
    }
  };
  if (layout != nullptr)
    *layout = TNSRegistryLayout{rootPlacement.Record, {}, {}, next};
  writeKey(writeKey, *root_, rootPlacement, 0, 0, "");
  return out;
}

void TNetscapeRegistryWriter::WriteFile(const std::string& hostPath) const {
  WriteHostFile(hostPath, Build());
}

std::string BuildNetscape4Registry(const std::vector<std::pair<std::string, std::string>>& users) {
  TNetscapeRegistryWriter writer;
  writer.AddKey("Users");
  for (const auto& [name, folder] : users)
    writer.AddString("Users\\" + name, "ProfileLocation", folder);
  return writer.Build();
}

std::string BuildMozillaRegistry(const std::vector<std::pair<std::string, std::string>>& profiles,
                                 const std::string& currentProfile) {
  TNetscapeRegistryWriter writer;
  writer.AddKey("Common\\Profiles");
  writer.AddString("Common\\Profiles", "CurrentProfile", currentProfile);
  for (const auto& [name, folder] : profiles) {
    const std::string key = "Common\\Profiles\\" + name;
    writer.AddString(key, "directory", folder);
    writer.AddString(key, "migrated", "yes");
  }
  writer.AddKey("Version Registry");
  return writer.Build();
}

} // namespace quillon::kit
