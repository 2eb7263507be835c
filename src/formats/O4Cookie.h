#pragma once
// Opera's cookie file, cookies4.dat: a tree of domain nodes (one label each: "www" under
// "example" under "com"), each holding its cookies, its paths and its sub-domains. Read whole,
// then cookies may be deleted and the tree saved again. A file read and saved unchanged is
// byte-identical; a save after deletions drops exactly the deleted records.

#include "formats/O4Stream.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

class TO4Domain;

// The place of a node read from a file among the runs of its holder; none for a node built in
// memory.
constexpr std::size_t kO4NoSlot = static_cast<std::size_t>(-1);

class TO4Cookie : public TO4Stream {
public:
  std::string Name;
  std::string Value;
  std::uint64_t Expires = 0;  // seconds since 1970 (UTC)
  std::uint64_t LastUsed = 0; // seconds since 1970 (UTC)
  std::string Comment;
  std::string CommentURL;
  std::string ReceiveDomain;
  std::string ReceivePath;
  std::string PortList;
  std::uint8_t Version = 0;
  bool Secure = false;
  bool ServerSendBack = false;
  bool Protected = false;
  bool Prefixed = false;
  bool Password = false;
  bool Authenticate = false;
  bool ThirdParty = false;

  // The node that holds the cookie; null once it was taken out of it.
  TO4Domain* Domain() const { return domain_; }
  // The byte size of the fields the writer emits for the cookie in format 0 or 1.
  std::uint16_t RecordSize(int format) const;

private:
  friend class TO4Domain;
  friend class TO4CookieRoot;
  TO4Domain* domain_ = nullptr;
  std::size_t slot_ = kO4NoSlot;
};

// A node that holds domains: the file's root or a domain.
class TO4Domains : public TO4Stream {
public:
  TO4Domains() = default;
  ~TO4Domains() override; // frees a tree of any depth without recursion
  TO4Domains(const TO4Domains&) = delete;
  TO4Domains& operator=(const TO4Domains&) = delete;

  // The sub-domains (the top-level domains for the root), in file order.
  std::span<const std::unique_ptr<TO4Domain>> Domains() const { return domains_; }
  int DomainCount() const { return static_cast<int>(domains_.size()); }
  // A new empty domain at the end, held by this node.
  TO4Domain& AddDomain();
  // Takes the domain (with its cookies and sub-domains) out of this node and frees it.
  void DeleteDomain(int index);

private:
  friend class TO4Domain;
  friend class TO4CookieRoot;
  std::vector<std::unique_ptr<TO4Domain>> domains_;
  // For a node read from a file: its runs in file order (see TO4Part); empty for one built in
  // memory, which the writer lays out itself.
  std::vector<TO4Part> parts_;
};

class TO4Domain : public TO4Domains {
public:
  std::string Name; // one label of the domain name
  std::uint8_t FilterType = 0;
  std::uint8_t MatchType = 0;
  std::uint8_t AcceptType = 0;
  std::uint8_t Tag26Value = 0;

  // The node that holds this one: the root or the enclosing domain.
  TO4Domains* Parent() const { return parent_; }
  // Sorted without regard to case; a path equal to one there (in any case) is not added again.
  const std::vector<std::string>& Paths() const { return paths_; }
  void AddPath(std::string path);

  std::span<const std::unique_ptr<TO4Cookie>> Cookies() const { return cookies_; }
  int CookieCount() const { return static_cast<int>(cookies_.size()); }
  TO4Cookie& AddCookie();
  // Takes the cookie out of this node and frees it.
  void DeleteCookie(int index);
  // Takes every cookie for which remove answers true out of this node and frees it, in one pass
  // however many there are (deleting them one by one from the front moves the rest each time);
  // returns how many.
  int DeleteCookiesIf(const std::function<bool(const TO4Cookie&)>& remove);

  // Name, then the names of the enclosing domains, innermost first, joined by ".":
  // "www.example.com".
  std::string FullName() const;
  // The byte size of the domain's own fields as the writer emits them.
  std::uint16_t RecordSize() const;

private:
  friend class TO4Domains;
  friend class TO4CookieRoot;
  TO4Domains* parent_ = nullptr;
  std::size_t slot_ = kO4NoSlot;
  std::vector<std::string> paths_;
  std::vector<std::unique_ptr<TO4Cookie>> cookies_;
};

class TO4CookieRoot : public TO4Domains {
public:
  // An empty tree of format 0 (Valid), for writers that build a file.
  TO4CookieRoot();
  // Reads the file. A file that cannot be opened raises EFOpenError; one too large for the
  // memory a store may take raises EFileTooLarge. Bad content never raises: an unknown header
  // gives an empty tree (Valid false), damage ends the load (LoadStop says where and why).
  explicit TO4CookieRoot(const std::string& fileName);
  // The same from the file's bytes.
  static std::unique_ptr<TO4CookieRoot> FromBytes(std::string_view bytes);

  bool Valid = false;
  int Format = 0; // 0: four-byte times, 1: eight-byte times
  TO4LoadStop LoadStop;

  // The file's bytes for the tree as it is now.
  std::string SaveToBytes() const;
  // Replaces the file with SaveToBytes (written beside it, then renamed over it); raises
  // EFCreateError when it cannot.
  void SaveToFile(const std::string& fileName) const;

private:
  void Load(std::string bytes, std::string_view fileName);
  bool ReadDomainFields(TO4Domain& domain, const TO4Field& record);
  bool ReadCookieFields(TO4Cookie& cookie, const TO4Field& record);
  void Stop(std::uint64_t offset, std::string reason);
  void WriteLaidOutDomainHead(std::string& out, const TO4Domain& domain) const;
  void WriteLaidOutCookie(std::string& out, const TO4Cookie& cookie) const;

  // The file's bytes, which the runs of the nodes read from it point into.
  std::string bytes_;
};

} // namespace quillon
