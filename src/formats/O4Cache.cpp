#include "formats/O4Cache.h"

#include "formats/FileErrors.h"
#include "formats/StoreFile.h"
#include "formats/StoreLimits.h"
#include "winapi/WinApi.h"

#include <initializer_list>

namespace quillon {

namespace {

constexpr std::uint32_t kFileVersion = 0x00001000;
constexpr std::uint32_t kAppVersion0 = 0x00020000;
constexpr std::uint32_t kAppVersion1 = 0x00002001;
constexpr std::size_t kHeaderSize = 12;
constexpr std::size_t kNoSlot = static_cast<std::size_t>(-1);

constexpr std::uint8_t kTagEntry = 0x01;
constexpr std::uint8_t kTagUrl = 0x03;
constexpr std::uint8_t kTag04 = 0x04;
constexpr std::uint8_t kTag05 = 0x05;
constexpr std::uint8_t kTag07 = 0x07;
constexpr std::uint8_t kTag08 = 0x08;
constexpr std::uint8_t kTag09 = 0x09;
constexpr std::uint8_t kTag0A = 0x0A;
constexpr std::uint8_t kTagFileName = 0x0D;
constexpr std::uint8_t kTagHTTP = 0x10;
constexpr std::uint8_t kTagLink = 0x22;
constexpr std::uint8_t kTag27 = 0x27;
constexpr std::uint8_t kFlag8B = 0x8B;
constexpr std::uint8_t kFlag8C = 0x8C;
constexpr std::uint8_t kFlag8F = 0x8F;

constexpr std::uint8_t kTag15 = 0x15;
constexpr std::uint8_t kTagExpires = 0x16;
constexpr std::uint8_t kTag17 = 0x17;
constexpr std::uint8_t kTag18 = 0x18;
constexpr std::uint8_t kTag19 = 0x19;
constexpr std::uint8_t kTag1A = 0x1A;
constexpr std::uint8_t kTag1B = 0x1B;
constexpr std::uint8_t kTag1C = 0x1C;
constexpr std::uint8_t kTag1D = 0x1D;
constexpr std::uint8_t kTag1E = 0x1E;
constexpr std::uint8_t kTag1F = 0x1F;
constexpr std::uint8_t kTag20 = 0x20;
constexpr std::uint8_t kTag21 = 0x21;
constexpr std::uint8_t kTag25 = 0x25;
constexpr std::uint8_t kTag26 = 0x26;
constexpr std::uint8_t kFlagB0 = 0xB0;
constexpr std::uint8_t kFlagB1 = 0xB1;

constexpr std::uint8_t kTag23 = 0x23;
constexpr std::uint8_t kTag24 = 0x24;

// Numbers of this file are four bytes; a longer field (Opera 12 writes some times in eight) is
// taken by its low four.
std::uint32_t Number32(std::string_view payload) {
  return static_cast<std::uint32_t>(TO4Stream::Number(payload));
}

std::uint32_t TextsSize(std::initializer_list<const std::string*> texts) {
  std::uint32_t size = 0;
  for (const std::string* text : texts)
    size += TO4Stream::TextFieldSize(*text);
  return size;
}

std::uint32_t LinkSize(const TO4RelativeLink& link) {
  return TO4Stream::TextFieldSize(link.Tag23) + 7;
}

std::uint32_t HTTPSize(const TO4HTTPRecord& http) {
  return TextsSize({&http.Tag15, &http.Tag17, &http.Tag18, &http.Tag19, &http.Tag1A, &http.Tag1B,
                    &http.Tag1D, &http.Tag1F, &http.Tag20, &http.Tag21}) +
         5 * 7 + (http.FlagB0 ? 1 : 0) + (http.FlagB1 ? 1 : 0);
}

std::uint32_t EntrySize(const TO4CacheEntry& entry) {
  std::uint32_t size = TextsSize({&entry.Url, &entry.Tag0A, &entry.Tag09, &entry.FileName});
  size += 5 * 7; // 0x04, 0x05, 0x07, 0x08, 0x27
  size += (entry.Flag8B ? 1 : 0) + (entry.Flag8C ? 1 : 0) + (entry.Flag8F ? 1 : 0);
  for (const auto& link : entry.Links())
    size += 3 + LinkSize(*link);
  return size + 3 + HTTPSize(entry.HTTPRecord);
}

// The fields of a record, each handed to visit; false at the first that runs past the record.
template <typename Visit>
bool ForEachField(std::string_view bytes, const TO4Field& record, std::uint64_t& failedAt,
                  Visit visit) {
  std::uint64_t pos = record.Offset + 3;
  const std::uint64_t end = pos + record.Payload.size();
  TO4Field field;
  while (pos < end) {
    if (!TO4Stream::ReadField(bytes, pos, end, field)) {
      failedAt = pos;
      return false;
    }
    if (!visit(field))
      return false;
  }
  return true;
}

} // namespace

TO4RelativeLink& TO4CacheEntry::AddLink() {
  links_.push_back(std::make_unique<TO4RelativeLink>(this));
  return *links_.back();
}

TO4CacheRoot::TO4CacheRoot() : Valid(true) {}

TO4CacheRoot::~TO4CacheRoot() = default;

TO4CacheRoot::TO4CacheRoot(const std::string& fileName) {
  CheckStoreSize(fileName, kO4CacheLimit, "a cache index");
  std::string bytes;
  if (!winapi::ReadWholeFile(fileName, bytes))
    RaiseFileOpenError(fileName);
  Load(std::move(bytes), fileName);
}

std::unique_ptr<TO4CacheRoot> TO4CacheRoot::FromBytes(std::string_view bytes) {
  if (bytes.size() > kO4CacheLimit)
    throw EFileTooLarge("dcache4.url is " + SizeText(bytes.size()) + ", more than the " +
                        SizeText(kO4CacheLimit) + " a cache index can have; not read");
  auto root = std::make_unique<TO4CacheRoot>();
  root->Load(std::string(bytes), "dcache4.url");
  return root;
}

TO4CacheEntry& TO4CacheRoot::AddEntry() {
  entries_.push_back(std::make_unique<TO4CacheEntry>(this));
  return *entries_.back();
}

void TO4CacheRoot::DeleteEntry(int index) {
  if (index < 0 || index >= EntryCount())
    return;
  if (entries_[index]->slot_ != kNoSlot)
    parts_[entries_[index]->slot_].Dead = true;
  entries_.erase(entries_.begin() + index);
}

int TO4CacheRoot::DeleteEntriesIf(const std::function<bool(const TO4CacheEntry&)>& remove) {
  const std::size_t before = entries_.size();
  std::erase_if(entries_, [&](const std::unique_ptr<TO4CacheEntry>& entry) {
    if (!remove(*entry))
      return false;
    if (entry->slot_ != kNoSlot)
      parts_[entry->slot_].Dead = true;
    return true;
  });
  return static_cast<int>(before - entries_.size());
}

void TO4CacheRoot::Stop(std::uint64_t offset, std::string reason) {
  LoadStop.Stopped = true;
  LoadStop.Offset = offset;
  LoadStop.Reason = std::move(reason);
}

bool TO4CacheRoot::ReadEntry(TO4CacheEntry& entry, const TO4Field& record) {
  std::uint64_t failedAt = 0;
  const auto readHTTP = [&](const TO4Field& httpRecord) {
    TO4HTTPRecord& http = entry.HTTPRecord;
    return ForEachField(bytes_, httpRecord, failedAt, [&](const TO4Field& field) {
      const auto text = std::string(Text(field.Payload));
      switch (field.Tag) {
      case kTag15:
        http.Tag15 = text;
        break;
      case kTagExpires:
        http.Expires = Number32(field.Payload);
        break;
      case kTag17:
        http.Tag17 = text;
        break;
      case kTag18:
        http.Tag18 = text;
        break;
      case kTag19:
        http.Tag19 = text;
        break;
      case kTag1A:
        http.Tag1A = text;
        break;
      case kTag1B:
        http.Tag1B = text;
        break;
      case kTag1C:
        http.Tag1C = Number32(field.Payload);
        break;
      case kTag1D:
        http.Tag1D = text;
        break;
      case kTag1E:
        http.Tag1E = Number32(field.Payload);
        break;
      case kTag1F:
        http.Tag1F = text;
        break;
      case kTag20:
        http.Tag20 = text;
        break;
      case kTag21:
        http.Tag21 = text;
        break;
      case kTag25:
        http.Tag25 = Number32(field.Payload);
        break;
      case kTag26:
        http.Tag26 = Number32(field.Payload);
        break;
      case kFlagB0:
        http.FlagB0 = true;
        break;
      case kFlagB1:
        http.FlagB1 = true;
        break;
      default:
        break; // the response's headers and fields of later versions: kept as read
      }
      return true;
    });
  };
  const auto readLink = [&](const TO4Field& linkRecord) {
    TO4RelativeLink& link = entry.AddLink();
    return ForEachField(bytes_, linkRecord, failedAt, [&](const TO4Field& field) {
      if (field.Tag == kTag23)
        link.Tag23 = Text(field.Payload);
      else if (field.Tag == kTag24)
        link.Tag24 = Number32(field.Payload);
      return true;
    });
  };
  const bool whole = ForEachField(bytes_, record, failedAt, [&](const TO4Field& field) {
    switch (field.Tag) {
    case kTagUrl:
      entry.Url = Text(field.Payload);
      break;
    case kTag04:
      entry.Tag04 = Number32(field.Payload);
      break;
    case kFlag8B:
      entry.Flag8B = true;
      break;
    case kTagLink:
      return readLink(field);
    case kTag05:
      entry.Tag05 = Number32(field.Payload);
      break;
    case kTag07:
      entry.Tag07 = Number32(field.Payload);
      break;
    case kTag08:
      entry.Tag08 = Number32(field.Payload);
      break;
    case kTag0A:
      entry.Tag0A = Text(field.Payload);
      break;
    case kTag09:
      entry.Tag09 = Text(field.Payload);
      break;
    case kFlag8C:
      entry.Flag8C = true;
      break;
    case kTagFileName:
      entry.FileName = Text(field.Payload);
      break;
    case kFlag8F:
      entry.Flag8F = true;
      break;
    case kTagHTTP:
      return readHTTP(field);
    case kTag27:
      entry.Tag27 = Number32(field.Payload);
      break;
    default:
      break; // the document's own bytes, fields of later versions: kept as read
    }
    return true;
  });
  if (!whole)
    Stop(failedAt, "a field of a cache entry runs past the end of its record");
  return whole;
}

void TO4CacheRoot::Load(std::string bytes, std::string_view fileName) {
  Valid = false;
  Format = 0;
  LoadStop = {};
  bytes_ = std::move(bytes);
  const std::string_view file = bytes_;
  if (!ReadHeader(file, kFileVersion, kAppVersion0, kAppVersion1, Format))
    return;
  Valid = true;

  // What the entries take is counted as they are made; a file of tiny records would otherwise
  // make nodes hundreds of times its size.
  const std::string name(fileName);
  std::uint64_t cost = 2 * file.size(); // the bytes as read, and the copy the entries point into
  parts_.push_back({0, kHeaderSize, TO4Part::TKind::Bytes});
  std::uint64_t pos = kHeaderSize;
  while (pos < file.size()) {
    const std::uint64_t at = pos;
    TO4Field field;
    if (!ReadField(file, pos, file.size(), field)) {
      Stop(at, "a record is cut short by the end of the file");
      break;
    }
    if (field.Tag != kTagEntry) {
      // A record or flag of a later version between the entries: kept as read.
      if (parts_.size() > 1 && parts_.back().Kind == TO4Part::TKind::Bytes &&
          parts_.back().Offset + parts_.back().Length == at) {
        parts_.back().Length += static_cast<std::uint32_t>(pos - at);
      } else {
        parts_.push_back({at, static_cast<std::uint32_t>(pos - at), TO4Part::TKind::Bytes});
        cost += 2 * sizeof(TO4Part);
      }
      continue;
    }
    auto entry = std::make_unique<TO4CacheEntry>(this);
    if (!ReadEntry(*entry, field))
      break;
    entry->slot_ = parts_.size();
    parts_.push_back({at, static_cast<std::uint32_t>(pos - at), TO4Part::TKind::Record});
    cost += AllocationCost(sizeof(TO4CacheEntry)) + 2 * sizeof(void*) + 2 * sizeof(TO4Part);
    for (const std::string* text : {&entry->Url, &entry->Tag0A, &entry->Tag09, &entry->FileName})
      cost += StringHeapCost(text->size());
    const TO4HTTPRecord& http = entry->HTTPRecord;
    for (const std::string* text :
         {&http.Tag15, &http.Tag17, &http.Tag18, &http.Tag19, &http.Tag1A, &http.Tag1B, &http.Tag1D,
          &http.Tag1F, &http.Tag20, &http.Tag21})
      cost += StringHeapCost(text->size());
    for (const auto& link : entry->Links())
      cost += AllocationCost(sizeof(TO4RelativeLink)) + 2 * sizeof(void*) +
              StringHeapCost(link->Tag23.size());
    entries_.push_back(std::move(entry));
    if (cost > StoreMemoryBudget(file.size()))
      CheckStoreMemory(name, file.size(), cost, entries_.size(), "cache entries");
  }
}

void TO4CacheRoot::WriteLaidOutEntry(std::string& out, const TO4CacheEntry& entry) const {
  AppendRecordHeader(out, kTagEntry, static_cast<std::uint16_t>(EntrySize(entry)));
  AppendText(out, kTagUrl, entry.Url);
  AppendNumber(out, kTag04, entry.Tag04, 4);
  AppendFlag(out, kFlag8B, entry.Flag8B);
  for (const auto& link : entry.Links()) {
    AppendRecordHeader(out, kTagLink, static_cast<std::uint16_t>(LinkSize(*link)));
    AppendText(out, kTag23, link->Tag23);
    AppendNumber(out, kTag24, link->Tag24, 4);
  }
  AppendNumber(out, kTag05, entry.Tag05, 4);
  AppendNumber(out, kTag07, entry.Tag07, 4);
  AppendNumber(out, kTag08, entry.Tag08, 4);
  AppendText(out, kTag0A, entry.Tag0A);
  AppendText(out, kTag09, entry.Tag09);
  AppendFlag(out, kFlag8C, entry.Flag8C);
  AppendText(out, kTagFileName, entry.FileName);
  AppendFlag(out, kFlag8F, entry.Flag8F);
  const TO4HTTPRecord& http = entry.HTTPRecord;
  AppendRecordHeader(out, kTagHTTP, static_cast<std::uint16_t>(HTTPSize(http)));
  AppendText(out, kTag15, http.Tag15);
  AppendNumber(out, kTagExpires, http.Expires, 4);
  AppendText(out, kTag17, http.Tag17);
  AppendText(out, kTag18, http.Tag18);
  AppendText(out, kTag19, http.Tag19);
  AppendText(out, kTag1A, http.Tag1A);
  AppendText(out, kTag1B, http.Tag1B);
  AppendNumber(out, kTag1C, http.Tag1C, 4);
  AppendText(out, kTag1D, http.Tag1D);
  AppendNumber(out, kTag1E, http.Tag1E, 4);
  AppendText(out, kTag1F, http.Tag1F);
  AppendText(out, kTag20, http.Tag20);
  AppendText(out, kTag21, http.Tag21);
  AppendNumber(out, kTag25, http.Tag25, 4);
  AppendNumber(out, kTag26, http.Tag26, 4);
  AppendFlag(out, kFlagB0, http.FlagB0);
  AppendFlag(out, kFlagB1, http.FlagB1);
  AppendNumber(out, kTag27, entry.Tag27, 4);
}

std::string TO4CacheRoot::SaveToBytes() const {
  std::string out;
  out.reserve(bytes_.size());
  if (parts_.empty())
    out += HeaderBytes(kFileVersion, Format == 1 ? kAppVersion1 : kAppVersion0);
  // Runs read from the file as they were, deleted entries left out; entries built in memory
  // after them.
  for (const TO4Part& part : parts_)
    if (!part.Dead)
      out.append(bytes_, part.Offset, part.Length);
  for (const auto& entry : entries_)
    if (entry->slot_ == kNoSlot)
      WriteLaidOutEntry(out, *entry);
  return out;
}

void TO4CacheRoot::SaveToFile(const std::string& fileName) const {
  if (!ReplaceStoreFile(fileName, SaveToBytes()))
    RaiseFileCreateError(fileName);
}

} // namespace quillon
