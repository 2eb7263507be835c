#pragma once
// Image kit: writes the binary registry file in which Netscape 4.x ("nsreg.dat") and the
// Mozilla suite and its relatives ("registry.dat", K-Meleon's "profiles.dat") list their
// profiles. Key paths are written "Common\Profiles\default" below the root key "/".

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillon::kit {

// Entry types as the browsers' registry library stores them.
constexpr std::uint16_t kNSRegTypeKey = 0x0001;
constexpr std::uint16_t kNSRegTypeString = 0x0011;
constexpr std::uint16_t kNSRegTypeInt32 = 0x0012;
constexpr std::uint16_t kNSRegTypeBytes = 0x0013;

// Where the writer put each record (file offsets), for tests that damage a file on purpose.
struct TNSRegistryLayout {
  std::uint32_t Root = 0;
  std::map<std::string, std::uint32_t> Keys;    // "Users\alice" (as given)
  std::map<std::string, std::uint32_t> Entries; // "Users\alice\ProfileLocation"
  std::uint32_t FileSize = 0;
};

class TNetscapeRegistryWriter {
public:
  TNetscapeRegistryWriter();
  ~TNetscapeRegistryWriter();
  TNetscapeRegistryWriter(const TNetscapeRegistryWriter&) = delete;
  TNetscapeRegistryWriter& operator=(const TNetscapeRegistryWriter&) = delete;
  TNetscapeRegistryWriter(TNetscapeRegistryWriter&&) noexcept;
  TNetscapeRegistryWriter& operator=(TNetscapeRegistryWriter&&) noexcept;

  // Creates a key and the keys above it. Siblings are chained in the order they are created;
  // value entries come before subkeys of the same key in the file.
  void AddKey(std::string_view keyPath);
  // Appends a string entry (creating the key), stored with its terminating zero byte as the
  // browsers store it. A name may repeat; the entries are chained in the order they are added.
  void AddString(std::string_view keyPath, std::string_view name, std::string_view value);
  // Appends an entry of any type with the value bytes exactly as given.
  void AddRaw(std::string_view keyPath, std::string_view name, std::uint16_t type,
              std::string_view bytes);

  std::string Build(TNSRegistryLayout* layout = nullptr) const;
  // Writes the file to a host path (the folder must exist); throws std::runtime_error.
  void WriteFile(const std::string& hostPath) const;

private:
  struct TKey;
  TKey& Key(std::string_view keyPath);
  std::unique_ptr<TKey> root_;
};

// "nsreg.dat" of Netscape 4.x: Users\<name>\ProfileLocation per profile (name, folder).
std::string BuildNetscape4Registry(const std::vector<std::pair<std::string, std::string>>& users);

// "registry.dat" of the Mozilla suite and its relatives: Common\Profiles\<name>\directory per
// profile (name, folder), the chosen one in Common\Profiles\CurrentProfile.
std::string BuildMozillaRegistry(const std::vector<std::pair<std::string, std::string>>& profiles,
                                 const std::string& currentProfile);

} // namespace quillon::kit
