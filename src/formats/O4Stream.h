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
  bool Stopped = false;     // false: the whole file was read
  std::uint64_t Offset = 0; // where the reading stopped
  std::string Reason;       // in plain words, for the log: "a cookie field is cut short"
};

// One run of a file read: the bytes of a record or field kept as they were, or the place of a
// node read from it. A node read from a file is written back from its runs, so what the reader
// does not know (tags, field sizes, order) survives a save unchanged.
struct TO4Part {
  enum class TKind : std::uint8_t {
    Bytes,  // kept bytes: a header, a path record, a tag the reader does not know
    Record, // a cookie's or a cache entry's record; Dead once the node was deleted
    Domain, // a sub-domain (Node), written from its own runs; Dead once deleted
    Close,  // the tag that closes the node (0x84)
  };
  std::uint64_t Offset = 0;
  std::uint32_t Length = 0;
  TKind Kind = TKind::Bytes;
  bool Dead = false;
  void* Node = nullptr;
};

// One field as the reader meets it: a tag, and for a tag below 0x80 its payload.
struct TO4Field {
  std::uint8_t Tag = 0;
  std::uint64_t Offset = 0; // of the tag
  std::string_view Payload; // empty for a flag
  bool IsFlag() const { return Tag >= 0x80; }
};

// The primitives the records of both files share. No fields; the node classes derive from it.
class TO4Stream {
public:
  virtual ~TO4Stream() = default;
  // Helpers for tests and writers of such files: the byte form of a header.
  static std::string HeaderBytes(std::uint32_t fileVersion, std::uint32_t appVersion);
  // Whether bytes begin with the header of fileVersion and appVersion0 (format 0) or appVersion1
  // (format 1); format is set only when they do.
  static bool ReadHeader(std::string_view bytes, std::uint32_t fileVersion,
                         std::uint32_t appVersion0, std::uint32_t appVersion1, int& format);

  // Reads the field at pos, which must end by end (the end of its record or file), and moves
  // pos past it. False, pos unchanged, when the field is cut short.
  static bool ReadField(std::string_view bytes, std::uint64_t& pos, std::uint64_t end,
                        TO4Field& field);
  // A text payload: its bytes up to the first zero, if any.
  static std::string_view Text(std::string_view payload);
  // A number payload of 1 to 8 bytes, big-endian; 0 for any other size.
  static std::uint64_t Number(std::string_view payload);

  // Writers of the fields: text only when not empty, flags only when set.
  static void AppendRecordHeader(std::string& out, std::uint8_t tag, std::uint16_t length);
  static void AppendText(std::string& out, std::uint8_t tag, std::string_view text);
  static void AppendNumber(std::string& out, std::uint8_t tag, std::uint64_t value, int bytes);
  static void AppendFlag(std::string& out, std::uint8_t tag, bool set);
  // What AppendText writes for the text.
  static std::uint32_t TextFieldSize(std::string_view text) {
    return text.empty() ? 0 : static_cast<std::uint32_t>(text.size()) + 3;
  }
};

} // namespace quillon
