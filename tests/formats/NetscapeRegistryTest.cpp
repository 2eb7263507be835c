#include "formats/NetscapeRegistry.h"

#include "formats/FileErrors.h"
#include "formats/StoreLimits.h"
#include "kit/NetscapeRegistryWriter.h"
#include "winapi/LittleEndian.h"
#include "winapi/MemoryFiles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace quillon;
using quillon::kit::TNetscapeRegistryWriter;
using quillon::kit::TNSRegistryLayout;
using ::testing::AllOf;
using ::testing::EndsWith;
using ::testing::StartsWith;

namespace {

constexpr char kPath[] = "C:\\Program Files\\Netscape\\Users\\registry.dat";

std::vector<std::string> ChildNames(const TDataRec* node) {
  std::vector<std::string> names;
  for (const auto& child : node->Children)
    names.push_back(child->Name);
  return names;
}

class NetscapeRegistry : public ::testing::Test {
protected:
  std::unique_ptr<TNSRegistry> Load(const std::string& bytes) {
    files_->Add(kPath, bytes);
    return std::make_unique<TNSRegistry>(kPath);
  }

  test::TMemoryFiles files_;
};

// A key with entries a, b and subkeys x, y, in that file order.
TNetscapeRegistryWriter KeyWithEntriesAndSubkeys() {
  TNetscapeRegistryWriter writer;
  writer.AddString("Common\\Profiles", "a", "value a");
  writer.AddString("Common\\Profiles", "b", "value b");
  writer.AddString("Common\\Profiles\\x", "directory", "C:\\x");
  writer.AddString("Common\\Profiles\\y", "directory", "C:\\y");
  return writer;
}

TEST_F(NetscapeRegistry, ListsEntriesBeforeSubkeysEachInReverseFileOrder) {
  const auto reg = Load(KeyWithEntriesAndSubkeys().Build());
  const TDataRec* key = reg->FindNode("Common\\Profiles", reg->Root());
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(ChildNames(key), (std::vector<std::string>{"b", "a", "y", "x"}));
  EXPECT_TRUE(key->Children[0]->IsValue);
  EXPECT_FALSE(key->Children[2]->IsValue);
  EXPECT_EQ(key->Children[2]->Parent, key);
  EXPECT_EQ(reg->GetKeyNames("Common\\Profiles"), "y\r\nx");
  EXPECT_EQ(reg->ReadString("Common\\Profiles\\a"), "value a");
  EXPECT_EQ(reg->ReadString("Common\\Profiles\\y\\directory"), "C:\\y");
}

TEST_F(NetscapeRegistry, FindsProfilesOfBothBrowserGenerations) {
  const auto netscape = Load(kit::BuildNetscape4Registry(
      {{"alice", "C:\\Netscape\\Users\\alice"}, {"bob", "C:\\Netscape\\Users\\bob"}}));
  EXPECT_EQ(netscape->GetKeyNames("Users"), "bob\r\nalice");
  EXPECT_EQ(netscape->ReadString("Users\\alice\\ProfileLocation"), "C:\\Netscape\\Users\\alice");

  const auto mozilla =
      Load(kit::BuildMozillaRegistry({{"default", "C:\\Moz\\default\\x1.slt"}}, "default"));
  EXPECT_EQ(mozilla->GetKeyNames("Common\\Profiles"), "default");
  EXPECT_EQ(mozilla->ReadString("Common\\Profiles\\default\\directory"),
            "C:\\Moz\\default\\x1.slt");
  EXPECT_EQ(mozilla->ReadString("Common\\Profiles\\CurrentProfile"), "default");
}

TEST_F(NetscapeRegistry, ComparesNamesIgnoringCaseAndAcceptsRootPrefix) {
  TNetscapeRegistryWriter writer;
  writer.AddString("users\\ALICE", "profilelocation", "C:\\alice");
  writer.AddString("users\\ALICE", "Caf\xC9", "accented");
  const auto reg = Load(writer.Build());
  EXPECT_EQ(reg->ReadString("Users\\alice\\ProfileLocation"), "C:\\alice");
  EXPECT_EQ(reg->ReadString("/\\Users\\Alice\\PROFILELOCATION"), "C:\\alice");
  EXPECT_EQ(reg->GetKeyNames("/\\USERS"), "ALICE");
  // Only A to Z fold; other bytes must match exactly.
  EXPECT_EQ(reg->ReadString("users\\alice\\CAF\xC9"), "accented");
  EXPECT_EQ(reg->ReadString("users\\alice\\caf\xE9"), "");
}

TEST_F(NetscapeRegistry, AnswersEmptyForWhatIsNotThere) {
  TNetscapeRegistryWriter writer;
  writer.AddString("Users\\alice", "ProfileLocation", "C:\\alice");
  writer.AddKey("Users\\alice\\Sub");
  const auto reg = Load(writer.Build());
  EXPECT_EQ(reg->GetKeyNames("Users\\nobody"), "");
  EXPECT_EQ(reg->GetKeyNames("Users\\alice\\ProfileLocation"), ""); // an entry has no subkeys
  EXPECT_EQ(reg->ReadString("Users\\nobody\\ProfileLocation"), "");
  EXPECT_EQ(reg->ReadString("Users\\alice\\Missing"), "");
  EXPECT_EQ(reg->ReadString("Users\\alice\\Sub"), ""); // a subkey is not a value
  EXPECT_EQ(reg->ReadString("ProfileLocation"), "");   // no key path at all
  EXPECT_EQ(reg->GetKeyNames("Users\\"), "alice");     // an empty rest names the key itself

  const TNSRegistry missing("C:\\nowhere\\nsreg.dat");
  EXPECT_EQ(missing.Root(), nullptr);
  EXPECT_EQ(missing.GetKeyNames("Users"), "");
  EXPECT_EQ(missing.ReadString("Users\\alice\\ProfileLocation"), "");
}

TEST_F(NetscapeRegistry, SearchesOnlyTheFirstChildOfAName) {
  TNetscapeRegistryWriter writer;
  writer.AddString("Users\\Dup", "v", "from the first key in the file");
  writer.AddString("Users\\DUP", "w", "from the second");
  writer.AddString("Users\\DUP", "w", "a later entry of the same name");
  const auto reg = Load(writer.Build());
  // The key last in the file comes first, hides the other one and answers with its first entry.
  EXPECT_EQ(reg->ReadString("Users\\dup\\w"), "a later entry of the same name");
  EXPECT_EQ(reg->ReadString("Users\\dup\\v"), "");
  EXPECT_EQ(reg->GetKeyNames("Users"), "DUP\r\nDup");
}

TEST_F(NetscapeRegistry, DropsZeroBytesFromNamesAndValues) {
  TNetscapeRegistryWriter writer;
  writer.AddRaw("Users\\alice", "ProfileLocation", kit::kNSRegTypeString,
                std::string("C:\\a\0b\0", 7));
  writer.AddRaw("Users\\alice", "Count", kit::kNSRegTypeInt32, std::string("\x07\0\0\0", 4));
  const auto reg = Load(writer.Build());
  EXPECT_EQ(reg->ReadString("Users\\alice\\ProfileLocation"), "C:\\ab");
  EXPECT_EQ(reg->ReadString("Users\\alice\\Count"), "\x07");
}

TEST_F(NetscapeRegistry, RaisesWhenAnExistingFileCannotBeRead) {
  files_->Lock(kPath, winapi::ERROR_ACCESS_DENIED);
  EXPECT_THROW(TNSRegistry{kPath}, EFOpenError);
}

// --- Damaged and hostile files -----------------------------------------------------------

TEST_F(NetscapeRegistry, CutsOffARecordThatFailsItsChecksWithTheSiblingsAfterIt) {
  TNetscapeRegistryWriter writer;
  writer.AddString("Users\\alice", "ProfileLocation", "C:\\alice");
  writer.AddString("Users\\bob", "ProfileLocation", "C:\\bob");
  writer.AddString("Users\\carol", "ProfileLocation", "C:\\carol");
  TNSRegistryLayout layout;
  const std::string good = writer.Build(&layout);

  std::string wrongCheck = good;
  PutU32At(wrongCheck, layout.Keys.at("Users\\bob"), 4711);
  EXPECT_EQ(Load(wrongCheck)->GetKeyNames("Users"), "alice");

  std::string wrongParent = good;
  PutU32At(wrongParent, layout.Entries.at("Users\\alice\\ProfileLocation") + 28,
           layout.Keys.at("Users\\bob"));
  const auto reg = Load(wrongParent);
  EXPECT_EQ(reg->GetKeyNames("Users"), "carol\r\nbob\r\nalice");
  EXPECT_EQ(reg->ReadString("Users\\alice\\ProfileLocation"), ""); // the key looks empty
  EXPECT_EQ(reg->ReadString("Users\\bob\\ProfileLocation"), "C:\\bob");
}

TEST_F(NetscapeRegistry, ReadsAnEmptyRegistryWhenTheRootCannotBeUsed) {
  const std::string good = kit::BuildNetscape4Registry({{"alice", "C:\\alice"}});
  for (const std::uint32_t root : {0u, 12u, 0xFFFFFFF0u, static_cast<std::uint32_t>(good.size())}) {
    std::string bytes = good;
    PutU32At(bytes, 12, root);
    const auto reg = Load(bytes);
    EXPECT_EQ(reg->Root(), nullptr) << root;
    EXPECT_EQ(reg->GetKeyNames("Users"), "") << root;
  }
  EXPECT_EQ(Load(std::string())->Root(), nullptr);
  EXPECT_EQ(Load(good.substr(0, 14))->Root(), nullptr);
}

TEST_F(NetscapeRegistry, UsesOnlyTheBytesTheFileHolds) {
  TNetscapeRegistryWriter writer;
  writer.AddString("Users\\alice", "ProfileLocation", "C:\\alice");
  TNSRegistryLayout layout;
  const std::string good = writer.Build(&layout);
  const std::uint32_t entry = layout.Entries.at("Users\\alice\\ProfileLocation");
  ASSERT_EQ(entry + 32 + 16 + 9, good.size()) << "the entry is expected last in the file";

  // A record that would end exactly at the end of the file is not read.
  const auto exact = Load(good.substr(0, entry + 32));
  EXPECT_TRUE(exact->FindNode("Users\\alice", exact->Root())->Children.empty());
  // A name cut by the end of the file keeps what is there.
  const auto cut = Load(good.substr(0, entry + 32 + 7));
  EXPECT_EQ(cut->FindNode("Users\\alice", cut->Root())->Children.at(0)->Name, "Profile");

  // Lengths and offsets far past the end.
  std::string huge = good;
  PutU32At(huge, entry + 24, 0xFFFFFFFF);
  EXPECT_EQ(Load(huge)->ReadString("Users\\alice\\ProfileLocation"), "C:\\alice");
  std::string valueAway = good;
  PutU32At(valueAway, entry + 20, 0xFFFFFFF0);
  EXPECT_EQ(Load(valueAway)->ReadString("Users\\alice\\ProfileLocation"), "");
  std::string keyAway = good;
  PutU32At(keyAway, layout.Keys.at("Users") + 4, 0xFFFFFFF0);
  PutU32At(keyAway, layout.Keys.at("Users") + 16, 0x7FFFFFFF);
  const auto reg = Load(keyAway);
  ASSERT_EQ(reg->Root()->Children.size(), 1u);
  EXPECT_EQ(reg->Root()->Children[0]->Name, "");
  EXPECT_TRUE(reg->Root()->Children[0]->Children.empty());
}

TEST_F(NetscapeRegistry, SurvivesTruncationAtEveryLength) {
  TNetscapeRegistryWriter writer;
  for (const char* user : {"alice", "bob", "carol"})
    writer.AddString(std::string("Users\\") + user, "ProfileLocation", std::string("C:\\") + user);
  writer.AddString("Common\\Profiles\\default", "directory", "C:\\Moz\\default");
  const std::string good = writer.Build();
  for (std::size_t size = 0; size <= good.size(); ++size) {
    const auto reg = Load(good.substr(0, size));
    const std::string value = reg->ReadString("Users\\bob\\ProfileLocation");
    EXPECT_EQ(value, std::string("C:\\bob").substr(0, value.size())) << size;
    const std::string dir = reg->ReadString("Common\\Profiles\\default\\directory");
    EXPECT_EQ(dir, std::string("C:\\Moz\\default").substr(0, dir.size())) << size;
  }
  EXPECT_EQ(Load(good)->ReadString("Users\\bob\\ProfileLocation"), "C:\\bob");
}

TEST_F(NetscapeRegistry, StopsAtLinksBackToRecordsAlreadyRead) {
  TNetscapeRegistryWriter writer;
  writer.AddString("Users\\x", "ProfileLocation", "C:\\x");
  writer.AddString("Users\\y", "ProfileLocation", "C:\\y");
  TNSRegistryLayout layout;
  const std::string good = writer.Build(&layout);
  const std::uint32_t x = layout.Keys.at("Users\\x");
  const std::uint32_t y = layout.Keys.at("Users\\y");
  const std::uint32_t users = layout.Keys.at("Users");

  std::string siblingLoop = good; // x -> y -> x -> ...
  PutU32At(siblingLoop, y + 12, x);
  EXPECT_EQ(Load(siblingLoop)->GetKeyNames("Users"), "y\r\nx");

  std::string selfLoop = good; // an entry that is its own next sibling
  const std::uint32_t entry = layout.Entries.at("Users\\x\\ProfileLocation");
  PutU32At(selfLoop, entry + 12, entry);
  const auto reg = Load(selfLoop);
  EXPECT_EQ(reg->FindNode("Users\\x", reg->Root())->Children.size(), 1u);

  std::string shared = good; // both chains of Users start at x
  PutU32At(shared, users + 20, x);
  EXPECT_EQ(Load(shared)->GetKeyNames("Users"), "y\r\nx");

  std::string toAncestors = good; // links up the tree are refused by the parent check
  PutU32At(toAncestors, y + 16, users);
  PutU32At(toAncestors, entry + 12, x);
  const auto up = Load(toAncestors);
  EXPECT_EQ(up->GetKeyNames("Users"), "y\r\nx");
  EXPECT_EQ(up->GetKeyNames("Users\\y"), "");
  EXPECT_EQ(up->FindNode("Users\\x", up->Root())->Children.size(), 1u);

  std::string toRoot = good;
  PutU32At(toRoot, users + 16, layout.Root);
  EXPECT_EQ(Load(toRoot)->GetKeyNames("Users"), "");
}

// A chain of `count` records of 48 bytes (record, then an 8-byte name and 8 spare bytes),
// the first at offset 128. nested: each is the first subkey of the one before it; else each is
// the next sibling of the one before it, all below the first.
std::string RecordChain(std::uint32_t count, bool nested) {
  constexpr std::uint32_t kStart = 128, kStride = 48;
  std::string bytes(kStart + (count + 1) * kStride, '\0');
  PutU32At(bytes, 12, kStart);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t off = kStart + i * kStride;
    const bool last = i + 1 == count;
    PutU32At(bytes, off, off);
    PutU32At(bytes, off + 4, off + 32);
    const std::string name = nested ? "k" : (i == 0 ? "Wide" : "s" + std::to_string(i));
    bytes.replace(off + 32, name.size(), name);
    bytes[off + 8] = static_cast<char>(name.size());
    bytes[off + 10] = 1;
    if (nested) {
      PutU32At(bytes, off + 12, 0);
      PutU32At(bytes, off + 16, last ? 0 : off + kStride);
      PutU32At(bytes, off + 28, i == 0 ? 0 : off - kStride);
    } else {
      PutU32At(bytes, off + 12, (i == 0 || last) ? 0 : off + kStride);
      PutU32At(bytes, off + 16, i == 0 && !last ? off + kStride : 0);
      PutU32At(bytes, off + 28, i == 0 ? 0 : kStart);
    }
  }
  return bytes;
}

TEST_F(NetscapeRegistry, ReadsVeryDeepAndVeryWideTreesWithoutRecursing) {
  constexpr std::uint32_t kDeep = 100000;
  const auto deep = Load(RecordChain(kDeep, true));
  std::string path = "k";
  for (std::uint32_t i = 2; i < kDeep - 1; ++i)
    path += "\\k";
  EXPECT_EQ(deep->GetKeyNames(path), "k");
  EXPECT_EQ(deep->GetKeyNames(path + "\\k"), "");

  constexpr std::uint32_t kWide = 100000;
  const auto wide = Load(RecordChain(kWide + 1, false));
  // The root "Wide" holds the chain; it is reached from the root as a child named like it.
  const TDataRec* root = wide->Root();
  ASSERT_NE(root, nullptr);
  ASSERT_EQ(root->Children.size(), kWide);
  EXPECT_EQ(root->Children.front()->Name, "s" + std::to_string(kWide));
  for (std::uint32_t i = 1; i <= kWide; ++i)
    ASSERT_EQ(wide->FindNode("S" + std::to_string(i), root), root->Children[kWide - i].get());
}

// Records can all name one long run of bytes, each entry a copy of it: a tree within the memory
// its file may take reads whole, a larger one is refused as a whole.
TEST_F(NetscapeRegistry, ManyCopiesOfOneHugeValueReadWithinTheBudgetAndAreRefusedBeyondIt) {
  for (const int copies : {40, 100}) {
    SCOPED_TRACE(copies);
    TNetscapeRegistryWriter writer;
    writer.AddString("Users\\big", "v", std::string(1 << 20, 'x'));
    for (int i = 0; i < copies; ++i)
      writer.AddString("Users\\many", "e" + std::to_string(i), "small");
    TNSRegistryLayout layout;
    std::string bytes = writer.Build(&layout);
    const std::uint32_t big = layout.Entries.at("Users\\big\\v");
    for (int i = 0; i < copies; ++i) {
      const std::uint32_t entry = layout.Entries.at("Users\\many\\e" + std::to_string(i));
      PutU32At(bytes, entry + 20, ReadU32At(bytes, big + 20).value());
      PutU32At(bytes, entry + 24, ReadU32At(bytes, big + 24).value());
    }
    if (copies == 40) {
      const auto reg = Load(bytes);
      EXPECT_EQ(reg->ReadString("Users\\many\\e39").size(), 1u << 20);
      continue;
    }
    try {
      Load(bytes);
      ADD_FAILURE() << "not refused";
    } catch (const EFileTooLarge& e) {
      EXPECT_THAT(e.what(), AllOf(StartsWith("registry.dat holds so many keys, or names them so "
                                             "long, that listing them would take more than the "),
                                  EndsWith(" of memory a file of 1 MB may use; not read")));
    }
  }
}

} // namespace
