// Opera's cache index: reads the input; an index read whole must save to exactly its bytes,
// lose exactly one entry when one is deleted, and, rebuilt in memory entry by entry, read back
// the same.

#include "formats/O4Cache.h"
#include "formats/StoreLimits.h"

#include <cstdlib>
#include <string>

using namespace quillon;

namespace {

constexpr std::size_t kRebuildLimit = 16384;

// What a reader shows of the index, in file order.
std::string Shown(const TO4CacheRoot& root) {
  std::string out;
  for (const auto& e : root.Entries()) {
    const TO4HTTPRecord& h = e->HTTPRecord;
    out += e->Url + "|" + std::to_string(e->Tag04) + "|" + std::to_string(e->Tag05) + "|" +
           std::to_string(e->Tag07) + "|" + std::to_string(e->Tag08) + "|" + e->Tag0A + "|" +
           e->Tag09 + "|" + e->FileName + "|" + std::to_string(e->Tag27) + "|" +
           std::to_string(e->Flag8B + 2 * e->Flag8C + 4 * e->Flag8F) + "|" + h.Tag15 + "|" +
           std::to_string(h.Expires) + "|" + h.Tag17 + "|" + h.Tag18 + "|" + h.Tag19 + "|" +
           h.Tag1A + "|" + h.Tag1B + "|" + std::to_string(h.Tag1C) + "|" + h.Tag1D + "|" +
           std::to_string(h.Tag1E) + "|" + h.Tag1F + "|" + h.Tag20 + "|" + h.Tag21 + "|" +
           std::to_string(h.Tag25) + "|" + std::to_string(h.Tag26) + "|" +
           std::to_string(h.FlagB0 + 2 * h.FlagB1);
    for (const auto& link : e->Links())
      out += "|L" + link->Tag23 + "," + std::to_string(link->Tag24);
    out += "\n";
  }
  return out;
}

void Rebuild(const TO4CacheRoot& from, TO4CacheRoot& to) {
  to.Format = from.Format;
  for (const auto& e : from.Entries()) {
    TO4CacheEntry& c = to.AddEntry();
    c.Url = e->Url;
    c.Tag04 = e->Tag04;
    c.Flag8B = e->Flag8B;
    c.Tag05 = e->Tag05;
    c.Tag07 = e->Tag07;
    c.Tag08 = e->Tag08;
    c.Tag0A = e->Tag0A;
    c.Tag09 = e->Tag09;
    c.Flag8C = e->Flag8C;
    c.FileName = e->FileName;
    c.Flag8F = e->Flag8F;
    c.Tag27 = e->Tag27;
    const TO4HTTPRecord& h = e->HTTPRecord;
    TO4HTTPRecord& ch = c.HTTPRecord;
    ch.Tag15 = h.Tag15;
    ch.Expires = h.Expires;
    ch.Tag17 = h.Tag17;
    ch.Tag18 = h.Tag18;
    ch.Tag19 = h.Tag19;
    ch.Tag1A = h.Tag1A;
    ch.Tag1B = h.Tag1B;
    ch.Tag1C = h.Tag1C;
    ch.Tag1D = h.Tag1D;
    ch.Tag1E = h.Tag1E;
    ch.Tag1F = h.Tag1F;
    ch.Tag20 = h.Tag20;
    ch.Tag21 = h.Tag21;
    ch.Tag25 = h.Tag25;
    ch.Tag26 = h.Tag26;
    ch.FlagB0 = h.FlagB0;
    ch.FlagB1 = h.FlagB1;
    for (const auto& link : e->Links()) {
      TO4RelativeLink& l = c.AddLink();
      l.Tag23 = link->Tag23;
      l.Tag24 = link->Tag24;
    }
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<TO4CacheRoot> root;
  try {
    root = TO4CacheRoot::FromBytes(input);
  } catch (const EFileTooLarge&) {
    return 0;
  }
  if (!root->Valid) {
    if (root->EntryCount() != 0 || root->LoadStop.Stopped)
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

  // Laid out anew, a record takes up to about three times its bytes (a three-byte link record
  // is written with its number): up to 16 KB of input no record can pass the 65535 bytes its
  // length can say.
  if (size <= kRebuildLimit) {
    TO4CacheRoot built;
    Rebuild(*root, built);
    const auto rebuilt = TO4CacheRoot::FromBytes(built.SaveToBytes());
    if (rebuilt->LoadStop.Stopped || Shown(*rebuilt) != Shown(*root))
      std::abort();
  }

  const int entries = root->EntryCount();
  if (entries > 0) {
    root->DeleteEntry(0);
    const auto reread = TO4CacheRoot::FromBytes(root->SaveToBytes());
    if (reread->LoadStop.Stopped || reread->EntryCount() != entries - 1 ||
        Shown(*reread) != Shown(*root))
      std::abort();
  }
  return 0;
}
