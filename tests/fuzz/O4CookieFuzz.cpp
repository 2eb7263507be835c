// Opera's cookie file: reads the input; a file read whole must save to exactly its bytes, lose
// exactly one cookie when one is deleted, and, rebuilt in memory node by node, read back the
// same.

#include "formats/O4Cookie.h"
#include "formats/StoreLimits.h"

#include <cstdlib>
#include <string>
#include <vector>

using namespace quillon;

namespace {

constexpr std::size_t kRebuildLimit = 16384;

// Every domain of the tree, parents before children.
std::vector<const TO4Domain*> AllDomains(const TO4Domains& root) {
  std::vector<const TO4Domain*> all;
  std::vector<const TO4Domain*> pending;
  for (auto it = root.Domains().rbegin(); it != root.Domains().rend(); ++it)
    pending.push_back(it->get());
  while (!pending.empty()) {
    const TO4Domain* domain = pending.back();
    pending.pop_back();
    all.push_back(domain);
    for (auto it = domain->Domains().rbegin(); it != domain->Domains().rend(); ++it)
      pending.push_back(it->get());
  }
  return all;
}

int CookieCount(const TO4Domains& root) {
  int count = 0;
  for (const TO4Domain* domain : AllDomains(root))
    count += domain->CookieCount();
  return count;
}

// What a reader shows of the tree, in file order; times as the format keeps them (format 0 in
// four bytes, even where a file gave more).
std::string Shown(const TO4CookieRoot& root) {
  const std::uint64_t timeMask = root.Format == 1 ? ~std::uint64_t{0} : 0xFFFFFFFFu;
  std::string out;
  for (const TO4Domain* d : AllDomains(root)) {
    out += "D" + d->FullName() + "|" + std::to_string(d->FilterType) + "," +
           std::to_string(d->MatchType) + "," + std::to_string(d->AcceptType) + "," +
           std::to_string(d->Tag26Value) + "|" + std::to_string(d->DomainCount()) + "\n";
    for (const std::string& path : d->Paths())
      out += "P" + path + "\n";
    for (const auto& c : d->Cookies())
      out += "C" + c->Name + "|" + c->Value + "|" + std::to_string(c->Expires & timeMask) + "|" +
             std::to_string(c->LastUsed & timeMask) + "|" + c->Comment + "|" + c->CommentURL + "|" +
             c->ReceiveDomain + "|" + c->ReceivePath + "|" + c->PortList + "|" +
             std::to_string(c->Version) + "|" +
             std::to_string(c->Secure + 2 * c->ServerSendBack + 4 * c->Protected + 8 * c->Prefixed +
                            16 * c->Password + 32 * c->Authenticate + 64 * c->ThirdParty) +
             "\n";
  }
  return out;
}

void CopyFields(const TO4Domain& from, TO4Domain& to) {
  to.Name = from.Name;
  to.FilterType = from.FilterType;
  to.MatchType = from.MatchType;
  to.AcceptType = from.AcceptType;
  to.Tag26Value = from.Tag26Value;
  for (const std::string& path : from.Paths())
    to.AddPath(path);
  for (const auto& c : from.Cookies()) {
    TO4Cookie& copy = to.AddCookie();
    copy.Name = c->Name;
    copy.Value = c->Value;
    copy.Expires = c->Expires;
    copy.LastUsed = c->LastUsed;
    copy.Comment = c->Comment;
    copy.CommentURL = c->CommentURL;
    copy.ReceiveDomain = c->ReceiveDomain;
    copy.ReceivePath = c->ReceivePath;
    copy.PortList = c->PortList;
    copy.Version = c->Version;
    copy.Secure = c->Secure;
    copy.ServerSendBack = c->ServerSendBack;
    copy.Protected = c->Protected;
    copy.Prefixed = c->Prefixed;
    copy.Password = c->Password;
    copy.Authenticate = c->Authenticate;
    copy.ThirdParty = c->ThirdParty;
  }
}

// The same tree built in memory, without recursion.
void Rebuild(const TO4CookieRoot& from, TO4CookieRoot& to) {
  to.Format = from.Format;
  std::vector<std::pair<const TO4Domains*, TO4Domains*>> pending{{&from, &to}};
  while (!pending.empty()) {
    const auto [source, target] = pending.back();
    pending.pop_back();
    for (const auto& child : source->Domains()) {
      TO4Domain& copy = target->AddDomain();
      CopyFields(*child, copy);
      pending.emplace_back(child.get(), &copy);
    }
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<TO4CookieRoot> root;
  try {
    root = TO4CookieRoot::FromBytes(input);
  } catch (const EFileTooLarge&) {
    return 0;
  }
  if (!root->Valid) {
    if (root->DomainCount() != 0 || root->LoadStop.Stopped)
      std::abort();
    return 0;
  }
  if (root->LoadStop.Stopped) {
    if (root->LoadStop.Offset > size || root->LoadStop.Reason.empty())
      std::abort();
    return 0;
  }
  if (root->SaveToBytes() != input)
    std::abort();

  // Laid out anew, a cookie record takes a few bytes more (times the file left out are always
  // written): up to 16 KB of input no record can pass the 65535 bytes its length can say.
  if (size <= kRebuildLimit) {
    TO4CookieRoot built;
    Rebuild(*root, built);
    const auto rebuilt = TO4CookieRoot::FromBytes(built.SaveToBytes());
    if (rebuilt->LoadStop.Stopped || Shown(*rebuilt) != Shown(*root))
      std::abort();
  }

  const int cookies = CookieCount(*root);
  for (const TO4Domain* domain : AllDomains(*root)) {
    if (domain->CookieCount() > 0) {
      const_cast<TO4Domain*>(domain)->DeleteCookie(0);
      break;
    }
  }
  if (cookies > 0) {
    const auto reread = TO4CookieRoot::FromBytes(root->SaveToBytes());
    if (reread->LoadStop.Stopped || CookieCount(*reread) != cookies - 1 ||
        Shown(*reread) != Shown(*root))
      std::abort();
  }
  return 0;
}
