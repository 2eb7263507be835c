#pragma once
// The tagged binary records Opera (4 to 12) keeps its cookie file and its cache index in: a
// 12-byte big-endian header, then records of one-byte tags, two-byte big-endian lengths and
// payloads; a tag with its top bit set is a flag and has no length or payload.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

// Why a load stopped before the end of its file. Opera never writes such a file, so a cleaner
// refuses to save one (it would drop the part that was not read); the lists show what was read.
struct TO4LoadStop {
  bool Stopped = false;        // false: the whole file was read
  std::uint64_t Offset = 0;    // where the reading stopped
  std::string Reason;          // in plain words, for the log: "a cookie field is cut short"
};

// The primitives the records of both files share. No fields; the node classes derive from it.
class TO4Stream {
public:
  virtual ~TO4Stream() = default;
  // Helpers for tests and writers of such files: the byte form of a header.
  static std::string HeaderBytes(std::uint32_t fileVersion, std::uint32_t appVersion);
};

} // namespace quillon
