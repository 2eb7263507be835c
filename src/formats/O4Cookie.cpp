#include "formats/O4Cookie.h"

#include "formats/FileErrors.h"
#include "formats/StoreFile.h"
#include "formats/StoreLimits.h"
#include "winapi/TextCase.h"
#include "winapi/WinApi.h"

#include <algorithm>

namespace quillon {

namespace {

constexpr std::uint32_t kFileVersion = 0x00001000;
constexpr std::uint32_t kAppVersion0 = 0x00002000; // four-byte times
constexpr std::uint32_t kAppVersion1 = 0x00002001; // eight-byte times
constexpr std::size_t kHeaderSize = 12;

constexpr std::uint8_t kTagDomain = 0x01;
constexpr std::uint8_t kTagPath = 0x02;
constexpr std::uint8_t kTagCookie = 0x03;
constexpr std::uint8_t kTagPathName = 0x1D;
constexpr std::uint8_t kTagDomainName = 0x1E;
constexpr std::uint8_t kTagFilterType = 0x1F;
constexpr std::uint8_t kTagMatchType = 0x21;
constexpr std::uint8_t kTagAcceptType = 0x25;
constexpr std::uint8_t kTagTag26 = 0x26;
constexpr std::uint8_t kTagEndDomain = 0x84;
constexpr std::uint8_t kTagEndPath = 0x85;

constexpr std::uint8_t kTagName = 0x10;
constexpr std::uint8_t kTagValue = 0x11;
constexpr std::uint8_t kTagExpires = 0x12;
constexpr std::uint8_t kTagLastUsed = 0x13;
constexpr std::uint8_t kTagComment = 0x14;
constexpr std::uint8_t kTagCommentURL = 0x15;
constexpr std::uint8_t kTagReceiveDomain = 0x16;
constexpr std::uint8_t kTagReceivePath = 0x17;
constexpr std::uint8_t kTagPortList = 0x18;
constexpr std::uint8_t kTagVersion = 0x1A;
constexpr std::uint8_t kTagSecure = 0x99;
constexpr std::uint8_t kTagServerSendBack = 0x9B;
constexpr std::uint8_t kTagProtected = 0x9C;
constexpr std::uint8_t kTagPrefixed = 0xA0;
constexpr std::uint8_t kTagPassword = 0xA2;
constexpr std::uint8_t kTagAuthenticate = 0xA3;
constexpr std::uint8_t kTagThirdParty = 0xA4;

bool PathLess(const std::string& a, const std::string& b) {
  return CompareLowerAscii(a, b) < 0;
}

// Sorted without regard to case, each path once in whatever case it came first.
void SortPaths(std::vector<std::string>& paths) {
  std::stable_sort(paths.begin(), paths.end(), PathLess);
  paths.erase(
      std::unique(paths.begin(), paths.end(),
                  [](const std::string& a, const std::string& b) { return SameTextAscii(a, b); }),
      paths.end());
}

void AddBytesPart(std::vector<TO4Part>& parts, std::uint64_t offset, std::uint64_t length,
                  std::uint64_t& cost) {
  // Runs that follow each other are kept as one; the first run (a node's own header) stays
  // alone, because nodes built in memory are written right after it.
  if (parts.size() > 1 && parts.back().Kind == TO4Part::TKind::Bytes &&
      parts.back().Offset + parts.back().Length == offset) {
    parts.back().Length += static_cast<std::uint32_t>(length);
    return;
  }
  parts.push_back({offset, static_cast<std::uint32_t>(length), TO4Part::TKind::Bytes});
  cost += 2 * sizeof(TO4Part);
}

} // namespace

std::uint16_t TO4Cookie::RecordSize(int format) const {
  std::uint32_t size = 0;
  for (const std::string* text :
       {&Name, &Value, &Comment, &CommentURL, &ReceiveDomain, &ReceivePath, &PortList})
    size += TO4Stream::TextFieldSize(*text);
  size += 2 * (format == 1 ? 11 : 7);
  size += Version != 0 ? 4 : 0;
  for (const bool flag :
       {Secure, ServerSendBack, Protected, Prefixed, Password, Authenticate, ThirdParty})
    size += flag ? 1 : 0;
  return static_cast<std::uint16_t>(size);
}

TO4Domains::~TO4Domains() {
  // A chain of nested domains as deep as the file makes it: freed from a list, not by each
  // node freeing the next.
  std::vector<std::unique_ptr<TO4Domain>> pending = std::move(domains_);
  while (!pending.empty()) {
    std::unique_ptr<TO4Domain> node = std::move(pending.back());
    pending.pop_back();
    for (auto& child : node->domains_)
      pending.push_back(std::move(child));
    node->domains_.clear();
  }
}

TO4Domain& TO4Domains::AddDomain() {
  auto domain = std::make_unique<TO4Domain>();
  domain->parent_ = this;
  domains_.push_back(std::move(domain));
  return *domains_.back();
}

void TO4Domains::DeleteDomain(int index) {
  if (index < 0 || index >= DomainCount())
    return;
  const std::size_t slot = domains_[index]->slot_;
  if (slot != kO4NoSlot) {
    parts_[slot].Dead = true;
    parts_[slot].Node = nullptr;
  }
  std::unique_ptr<TO4Domain> taken = std::move(domains_[index]);
  domains_.erase(domains_.begin() + index);
  taken->parent_ = nullptr;
}

void TO4Domain::AddPath(std::string path) {
  const auto at = std::lower_bound(paths_.begin(), paths_.end(), path, PathLess);
  if (at != paths_.end() && SameTextAscii(*at, path))
    return;
  paths_.insert(at, std::move(path));
}

TO4Cookie& TO4Domain::AddCookie() {
  auto cookie = std::make_unique<TO4Cookie>();
  cookie->domain_ = this;
  cookies_.push_back(std::move(cookie));
  return *cookies_.back();
}

void TO4Domain::DeleteCookie(int index) {
  if (index < 0 || index >= CookieCount())
    return;
  if (cookies_[index]->slot_ != kO4NoSlot)
    parts_[cookies_[index]->slot_].Dead = true;
  cookies_.erase(cookies_.begin() + index);
}

int TO4Domain::DeleteCookiesIf(const std::function<bool(const TO4Cookie&)>& remove) {
  const std::size_t before = cookies_.size();
  std::erase_if(cookies_, [&](const std::unique_ptr<TO4Cookie>& cookie) {
    if (!remove(*cookie))
      return false;
    if (cookie->slot_ != kO4NoSlot)
      parts_[cookie->slot_].Dead = true;
    return true;
  });
  return static_cast<int>(before - cookies_.size());
}

std::string TO4Domain::FullName() const {
  std::string name = Name;
  for (const TO4Domains* node = parent_; node != nullptr;) {
    const auto* domain = dynamic_cast<const TO4Domain*>(node);
    if (domain == nullptr)
      break;
    name += '.';
    name += domain->Name;
    node = domain->parent_;
  }
  return name;
}

std::uint16_t TO4Domain::RecordSize() const {
  std::uint32_t size = TO4Stream::TextFieldSize(Name);
  for (const std::uint8_t value : {FilterType, MatchType, AcceptType, Tag26Value})
    size += value != 0 ? 4 : 0;
  return static_cast<std::uint16_t>(size);
}

TO4CookieRoot::TO4CookieRoot() : Valid(true) {}

TO4CookieRoot::TO4CookieRoot(const std::string& fileName) {
  CheckStoreSize(fileName, kO4CookiesLimit, "a cookie file");
  std::string bytes;
  if (!winapi::ReadWholeFile(fileName, bytes))
    RaiseFileOpenError(fileName);
  Load(std::move(bytes), fileName);
}

std::unique_ptr<TO4CookieRoot> TO4CookieRoot::FromBytes(std::string_view bytes) {
  if (bytes.size() > kO4CookiesLimit)
    throw EFileTooLarge("cookies4.dat is " + SizeText(bytes.size()) + ", more than the " +
                        SizeText(kO4CookiesLimit) + " a cookie file can have; not read");
  auto root = std::make_unique<TO4CookieRoot>();
  root->Load(std::string(bytes), "cookies4.dat");
  return root;
}

void TO4CookieRoot::Stop(std::uint64_t offset, std::string reason) {
  LoadStop.Stopped = true;
  LoadStop.Offset = offset;
  LoadStop.Reason = std::move(reason);
}

bool TO4CookieRoot::ReadDomainFields(TO4Domain& domain, const TO4Field& record) {
  std::uint64_t pos = record.Offset + 3;
  const std::uint64_t end = pos + record.Payload.size();
  TO4Field field;
  while (pos < end) {
    if (!ReadField(bytes_, pos, end, field)) {
      Stop(pos, "a domain field runs past the end of its record");
      return false;
    }
    switch (field.Tag) {
    case kTagDomainName:
      domain.Name = Text(field.Payload);
      break;
    case kTagFilterType:
      domain.FilterType = static_cast<std::uint8_t>(Number(field.Payload));
      break;
    case kTagMatchType:
      domain.MatchType = static_cast<std::uint8_t>(Number(field.Payload));
      break;
    case kTagAcceptType:
      domain.AcceptType = static_cast<std::uint8_t>(Number(field.Payload));
      break;
    case kTagTag26:
      domain.Tag26Value = static_cast<std::uint8_t>(Number(field.Payload));
      break;
    default:
      break; // a field of a later version: kept in the record's bytes
    }
  }
  return true;
}

bool TO4CookieRoot::ReadCookieFields(TO4Cookie& cookie, const TO4Field& record) {
  std::uint64_t pos = record.Offset + 3;
  const std::uint64_t end = pos + record.Payload.size();
  TO4Field field;
  while (pos < end) {
    if (!ReadField(bytes_, pos, end, field)) {
      Stop(pos, "a cookie field runs past the end of its record");
      return false;
    }
    switch (field.Tag) {
    case kTagName:
      cookie.Name = Text(field.Payload);
      break;
    case kTagValue:
      cookie.Value = Text(field.Payload);
      break;
    case kTagExpires:
      cookie.Expires = Number(field.Payload);
      break;
    case kTagLastUsed:
      cookie.LastUsed = Number(field.Payload);
      break;
    case kTagComment:
      cookie.Comment = Text(field.Payload);
      break;
    case kTagCommentURL:
      cookie.CommentURL = Text(field.Payload);
      break;
    case kTagReceiveDomain:
      cookie.ReceiveDomain = Text(field.Payload);
      break;
    case kTagReceivePath:
      cookie.ReceivePath = Text(field.Payload);
      break;
    case kTagPortList:
      cookie.PortList = Text(field.Payload);
      break;
    case kTagVersion:
      cookie.Version = static_cast<std::uint8_t>(Number(field.Payload));
      break;
    case kTagSecure:
      cookie.Secure = true;
      break;
    case kTagServerSendBack:
      cookie.ServerSendBack = true;
      break;
    case kTagProtected:
      cookie.Protected = true;
      break;
    case kTagPrefixed:
      cookie.Prefixed = true;
      break;
    case kTagPassword:
      cookie.Password = true;
      break;
    case kTagAuthenticate:
      cookie.Authenticate = true;
      break;
    case kTagThirdParty:
      cookie.ThirdParty = true;
      break;
    default:
      break; // a field of a later version: kept in the record's bytes
    }
  }
  return true;
}

void TO4CookieRoot::Load(std::string bytes, std::string_view fileName) {
  Valid = false;
  Format = 0;
  LoadStop = {};
  bytes_ = std::move(bytes);
  const std::string_view file = bytes_;
  if (!ReadHeader(file, kFileVersion, kAppVersion0, kAppVersion1, Format))
    return;
  Valid = true;

  // A cookie record of three bytes makes a node of some hundred: what the nodes take is counted
  // as they are made, and the load refused once it passes what a file of this size may take.
  const std::string name(fileName);
  std::uint64_t cost = 2 * file.size(); // the bytes as read, and the copy the nodes point into
  std::uint64_t records = 0;
  const auto checkCost = [&] {
    if (cost > StoreMemoryBudget(file.size()))
      CheckStoreMemory(name, file.size(), cost, records, "cookies and domains");
  };

  parts_.push_back({0, kHeaderSize, TO4Part::TKind::Bytes});
  // The domains not yet closed, innermost last; the root at the bottom. The tree is as deep as
  // the file makes it, so it is walked with this list, never by recursion.
  std::vector<TO4Domains*> open{this};
  bool closed = false;
  std::uint64_t pos = kHeaderSize;
  while (pos < file.size()) {
    TO4Domains& node = *open.back();
    const bool inDomain = open.size() > 1;
    const std::uint64_t at = pos;
    TO4Field field;
    if (!ReadField(file, pos, file.size(), field)) {
      Stop(at, "a record is cut short by the end of the file");
      break;
    }
    if (field.Tag == kTagEndDomain) {
      node.parts_.push_back({at, 1, TO4Part::TKind::Close});
      cost += 2 * sizeof(TO4Part);
      if (!inDomain) {
        closed = true;
        break;
      }
      open.pop_back();
      continue;
    }
    if (field.Tag == kTagDomain) {
      auto domain = std::make_unique<TO4Domain>();
      if (!ReadDomainFields(*domain, field))
        break;
      domain->parent_ = &node;
      domain->slot_ = node.parts_.size();
      domain->parts_.push_back({at, static_cast<std::uint32_t>(pos - at), TO4Part::TKind::Bytes});
      node.parts_.push_back({at, 0, TO4Part::TKind::Domain, false, domain.get()});
      cost += AllocationCost(sizeof(TO4Domain)) + 2 * sizeof(void*) + 4 * sizeof(TO4Part) +
              StringHeapCost(domain->Name.size()) + 2 * sizeof(void*);
      ++records;
      checkCost();
      open.push_back(domain.get());
      node.domains_.push_back(std::move(domain));
      continue;
    }
    if (inDomain && field.Tag == kTagCookie) {
      auto& domain = static_cast<TO4Domain&>(node);
      auto cookie = std::make_unique<TO4Cookie>();
      if (!ReadCookieFields(*cookie, field))
        break;
      cookie->domain_ = &domain;
      cookie->slot_ = domain.parts_.size();
      domain.parts_.push_back({at, static_cast<std::uint32_t>(pos - at), TO4Part::TKind::Record});
      cost += AllocationCost(sizeof(TO4Cookie)) + 2 * sizeof(void*) + 2 * sizeof(TO4Part);
      for (const std::string* text :
           {&cookie->Name, &cookie->Value, &cookie->Comment, &cookie->CommentURL,
            &cookie->ReceiveDomain, &cookie->ReceivePath, &cookie->PortList})
        cost += StringHeapCost(text->size());
      ++records;
      checkCost();
      domain.cookies_.push_back(std::move(cookie));
      continue;
    }
    if (inDomain && field.Tag == kTagPath) {
      auto& domain = static_cast<TO4Domain&>(node);
      std::uint64_t fieldPos = at + 3;
      const std::uint64_t end = pos;
      TO4Field pathField;
      bool damaged = false;
      while (fieldPos < end) {
        if (!ReadField(file, fieldPos, end, pathField)) {
          Stop(fieldPos, "a path field runs past the end of its record");
          damaged = true;
          break;
        }
        if (pathField.Tag == kTagPathName) {
          domain.paths_.emplace_back(Text(pathField.Payload));
          cost += 2 * sizeof(std::string) + StringHeapCost(domain.paths_.back().size());
        }
      }
      if (damaged)
        break;
      checkCost();
    }
    // A path record, an end-of-path tag, or a record or flag of a later version: kept as read.
    AddBytesPart(node.parts_, at, pos - at, cost);
  }
  if (closed && pos < file.size())
    AddBytesPart(parts_, pos, file.size() - pos, cost); // nothing Opera writes, kept all the same
  if (!closed && !LoadStop.Stopped)
    Stop(file.size(), "the file ends before its last domain is closed");

  std::vector<TO4Domain*> pending;
  for (auto& domain : domains_)
    pending.push_back(domain.get());
  while (!pending.empty()) {
    TO4Domain* domain = pending.back();
    pending.pop_back();
    SortPaths(domain->paths_);
    for (auto& child : domain->domains_)
      pending.push_back(child.get());
  }
}

void TO4CookieRoot::WriteLaidOutCookie(std::string& out, const TO4Cookie& cookie) const {
  AppendRecordHeader(out, kTagCookie, cookie.RecordSize(Format));
  AppendText(out, kTagName, cookie.Name);
  AppendText(out, kTagValue, cookie.Value);
  const int timeBytes = Format == 1 ? 8 : 4;
  const std::uint64_t timeMask = Format == 1 ? ~std::uint64_t{0} : 0xFFFFFFFFu;
  AppendNumber(out, kTagExpires, cookie.Expires & timeMask, timeBytes);
  AppendNumber(out, kTagLastUsed, cookie.LastUsed & timeMask, timeBytes);
  AppendText(out, kTagComment, cookie.Comment);
  AppendText(out, kTagCommentURL, cookie.CommentURL);
  AppendText(out, kTagReceiveDomain, cookie.ReceiveDomain);
  AppendText(out, kTagReceivePath, cookie.ReceivePath);
  AppendText(out, kTagPortList, cookie.PortList);
  if (cookie.Version != 0)
    AppendNumber(out, kTagVersion, cookie.Version, 1);
  AppendFlag(out, kTagSecure, cookie.Secure);
  AppendFlag(out, kTagServerSendBack, cookie.ServerSendBack);
  AppendFlag(out, kTagProtected, cookie.Protected);
  AppendFlag(out, kTagPrefixed, cookie.Prefixed);
  AppendFlag(out, kTagPassword, cookie.Password);
  AppendFlag(out, kTagAuthenticate, cookie.Authenticate);
  AppendFlag(out, kTagThirdParty, cookie.ThirdParty);
}

void TO4CookieRoot::WriteLaidOutDomainHead(std::string& out, const TO4Domain& domain) const {
  AppendRecordHeader(out, kTagDomain, domain.RecordSize());
  AppendText(out, kTagDomainName, domain.Name);
  const std::pair<std::uint8_t, std::uint8_t> bytes[] = {{kTagFilterType, domain.FilterType},
                                                         {kTagMatchType, domain.MatchType},
                                                         {kTagAcceptType, domain.AcceptType},
                                                         {kTagTag26, domain.Tag26Value}};
  for (const auto& [tag, value] : bytes)
    if (value != 0)
      AppendNumber(out, tag, value, 1);
  for (const auto& cookie : domain.cookies_)
    WriteLaidOutCookie(out, *cookie);
  for (const std::string& path : domain.paths_) {
    AppendRecordHeader(out, kTagPath, static_cast<std::uint16_t>(path.size() + 3));
    AppendRecordHeader(out, kTagPathName, static_cast<std::uint16_t>(path.size()));
    out += path;
    out.push_back(static_cast<char>(kTagEndPath));
  }
  out.push_back(static_cast<char>(kTagEndPath));
}

std::string TO4CookieRoot::SaveToBytes() const {
  std::string out;
  out.reserve(bytes_.size());
  // Nodes read from the file are written from their runs, with the deleted ones left out; nodes
  // built in memory are laid out field by field: cookies after their domain's own record,
  // sub-domains before the tag that closes their holder.
  struct TFrame {
    const TO4Domains* Node;
    std::size_t Part = 0;
    std::size_t Added = 0;     // the next of Node's domains to look at for one built in memory
    bool Started = false;      // a node built in memory: its head is written
    bool WritingAdded = false; // the domains built in memory are being written
    bool AddedWritten = false;
  };
  std::vector<TFrame> stack{{this}};
  while (!stack.empty()) {
    TFrame& frame = stack.back();
    const TO4Domains& node = *frame.Node;
    const bool isRoot = frame.Node == this;
    if (node.parts_.empty()) {
      if (!frame.Started) {
        frame.Started = true;
        if (isRoot)
          out += HeaderBytes(kFileVersion, Format == 1 ? kAppVersion1 : kAppVersion0);
        else
          WriteLaidOutDomainHead(out, static_cast<const TO4Domain&>(node));
      }
      if (frame.Added < node.domains_.size()) {
        const TO4Domains* child = node.domains_[frame.Added++].get();
        stack.push_back({child});
        continue;
      }
      out.push_back(static_cast<char>(kTagEndDomain));
      stack.pop_back();
      continue;
    }
    if (frame.WritingAdded) {
      while (frame.Added < node.domains_.size() && node.domains_[frame.Added]->slot_ != kO4NoSlot)
        ++frame.Added;
      if (frame.Added < node.domains_.size()) {
        const TO4Domains* child = node.domains_[frame.Added++].get();
        stack.push_back({child});
        continue;
      }
      frame.WritingAdded = false;
      frame.AddedWritten = true;
      if (frame.Part < node.parts_.size()) {
        const TO4Part& close = node.parts_[frame.Part++];
        out.append(bytes_, close.Offset, close.Length);
      }
      continue;
    }
    if (frame.Part == node.parts_.size()) {
      if (!frame.AddedWritten) {
        frame.WritingAdded = true; // a node the file left open
        continue;
      }
      stack.pop_back();
      continue;
    }
    const TO4Part& part = node.parts_[frame.Part];
    switch (part.Kind) {
    case TO4Part::TKind::Bytes:
      out.append(bytes_, part.Offset, part.Length);
      if (frame.Part++ == 0 && !isRoot)
        for (const auto& cookie : static_cast<const TO4Domain&>(node).cookies_)
          if (cookie->slot_ == kO4NoSlot)
            WriteLaidOutCookie(out, *cookie);
      break;
    case TO4Part::TKind::Record:
      if (!part.Dead)
        out.append(bytes_, part.Offset, part.Length);
      ++frame.Part;
      break;
    case TO4Part::TKind::Domain:
      ++frame.Part;
      if (!part.Dead)
        stack.push_back({static_cast<const TO4Domain*>(part.Node)});
      break;
    case TO4Part::TKind::Close:
      frame.WritingAdded = true; // then the close itself
      break;
    }
  }
  return out;
}

void TO4CookieRoot::SaveToFile(const std::string& fileName) const {
  if (!ReplaceStoreFile(fileName, SaveToBytes()))
    RaiseFileCreateError(fileName);
}

} // namespace quillon
