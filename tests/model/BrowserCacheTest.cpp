#include "model/BrowserCache.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

using namespace quillon;

namespace {

// Fills a list with entries named "0", "1", ...
void Fill(TCacheList& list, int count) {
  for (int i = 0; i < count; ++i)
    list.Add().Name = std::to_string(i);
}

// The names in list order, after checking that every entry knows its position and its list.
std::vector<std::string> NamesWithConsistentIndexes(const TCacheList& list) {
  std::vector<std::string> names;
  for (int i = 0; i < list.Count(); ++i) {
    const TCacheItem& item = list.Items(i);
    EXPECT_EQ(item.Index(), i) << "entry " << item.Name;
    EXPECT_EQ(item.Owner, &list);
    names.push_back(item.Name);
  }
  return names;
}

} // namespace

TEST(TCacheItem, NewEntryHasTheDefaults) {
  TCacheList list;
  list.Add();
  const TCacheItem& item = list.Add();
  EXPECT_EQ(item.Owner, &list);
  EXPECT_EQ(item.Index(), 1);
  EXPECT_EQ(item.AccessBits, 32);
  EXPECT_FALSE(item.ToBeDeleted);
  EXPECT_FALSE(item.ServerSecure);
  EXPECT_EQ(item.Expires, 0);
  EXPECT_EQ(item.LastAccess, 0);
  EXPECT_EQ(item.Tag, 0);
  EXPECT_EQ(item.DatabaseID, 0);
  EXPECT_TRUE(item.Content.empty() && item.CacheFile.empty() && item.Host.empty() &&
              item.Name.empty() && item.Path.empty() && item.Plaintext.empty());
}

TEST(TCacheItem, DisplayNameIsContentOrTheClassName) {
  TCacheItem item;
  EXPECT_EQ(item.DisplayName(), "TCacheItem");
  item.Content = "session=1";
  EXPECT_EQ(item.DisplayName(), "session=1");
  EXPECT_EQ(item.Index(), -1); // not in a list
}

TEST(TCacheItem, AssignCopiesDataButKeepsMarksRegistryViewAndRowId) {
  TCacheList sourceList, targetList;
  targetList.Add();
  TCacheItem& source = sourceList.Add();
  source.Content = "v";
  source.CacheFile = "C:\\c.txt";
  source.Expires = 45000.5;
  source.Host = "example.com";
  source.LastAccess = 44000.25;
  source.Name = "n";
  source.Path = "/p";
  source.Plaintext = "line";
  source.ServerSecure = true;
  source.Tag = 7;
  source.ToBeDeleted = true;
  source.AccessBits = 64;
  source.DatabaseID = 99;

  TCacheItem& target = targetList.Add();
  target.DatabaseID = 5;
  target.Assign(source);

  EXPECT_EQ(target.Content, "v");
  EXPECT_EQ(target.CacheFile, "C:\\c.txt");
  EXPECT_EQ(target.Expires, 45000.5);
  EXPECT_EQ(target.Host, "example.com");
  EXPECT_EQ(target.LastAccess, 44000.25);
  EXPECT_EQ(target.Name, "n");
  EXPECT_EQ(target.Path, "/p");
  EXPECT_EQ(target.Plaintext, "line");
  EXPECT_TRUE(target.ServerSecure);
  EXPECT_EQ(target.Tag, 7);
  EXPECT_FALSE(target.ToBeDeleted);
  EXPECT_EQ(target.AccessBits, 32);
  EXPECT_EQ(target.DatabaseID, 5);
  // It still belongs to the list that holds it.
  EXPECT_EQ(target.Owner, &targetList);
  EXPECT_EQ(target.Index(), 1);
}

TEST(TCacheList, FindEntryMatchesNameAndHostExactlyAndTakesTheFirst) {
  TCacheList list;
  EXPECT_EQ(list.FindEntry("a", "h"), nullptr);
  TCacheItem& a = list.Add();
  a.Name = "id";
  a.Host = "Example.com";
  TCacheItem& first = list.Add();
  first.Name = "id";
  first.Host = "example.com";
  TCacheItem& second = list.Add();
  second.Name = "id";
  second.Host = "example.com";

  EXPECT_EQ(list.FindEntry("id", "example.com"), &first);
  EXPECT_EQ(list.FindEntry("id", "EXAMPLE.COM"), nullptr);
  EXPECT_EQ(list.FindEntry("ID", "example.com"), nullptr);
  EXPECT_EQ(list.FindEntry("id", "example.co"), nullptr);
  list.Delete(1);
  EXPECT_EQ(list.FindEntry("id", "example.com"), &second);
}

TEST(TCacheList, FindEntryByPathIsCaseSensitiveAndTakesTheFirst) {
  TCacheList list;
  EXPECT_EQ(list.FindEntryByPath(""), nullptr);
  list.Add().Path = "http://a/X";
  TCacheItem& first = list.Add();
  first.Path = "http://a/x";
  list.Add().Path = "http://a/x";
  EXPECT_EQ(list.FindEntryByPath("http://a/x"), &first);
  EXPECT_EQ(list.FindEntryByPath("HTTP://A/X"), nullptr);
}

TEST(TCacheList, DeletingWhileWalkingBackwardsKeepsPositionsAndAddresses) {
  TCacheList list;
  Fill(list, 10);
  TCacheItem* last = &list.Items(9);
  TCacheItem* third = &list.Items(3);
  for (int i = list.Count() - 1; i >= 0; --i)
    if (std::stoi(list.Items(i).Name) % 2 == 0)
      list.Delete(i);
  EXPECT_EQ(NamesWithConsistentIndexes(list), (std::vector<std::string>{"1", "3", "5", "7", "9"}));
  // Entries that stayed are the same objects and know where they are now.
  EXPECT_EQ(last->Name, "9");
  EXPECT_EQ(last->Index(), 4);
  EXPECT_EQ(third->Index(), 1);
}

TEST(TCacheList, MixedAddsAndDeletesMatchAPlainVector) {
  TCacheList list;
  std::vector<std::string> expected;
  std::mt19937 random(1234);
  int next = 0;
  for (int step = 0; step < 3000; ++step) {
    const bool add = expected.empty() || random() % 3 == 0;
    if (add) {
      list.Add().Name = std::to_string(next);
      expected.push_back(std::to_string(next++));
    } else {
      const int index = static_cast<int>(random() % expected.size());
      list.Delete(index);
      expected.erase(expected.begin() + index);
    }
    ASSERT_EQ(list.Count(), static_cast<int>(expected.size()));
    if (step % 97 == 0) {
      ASSERT_EQ(NamesWithConsistentIndexes(list), expected) << "after step " << step;
    }
  }
  EXPECT_EQ(NamesWithConsistentIndexes(list), expected);
}

TEST(TCacheList, DeletingAtTheFrontAndAddingDoesNotGrowWithoutBound) {
  // A queue-like use: the storage is reclaimed when it grows, so positions stay right.
  TCacheList list;
  Fill(list, 4);
  for (int i = 4; i < 2000; ++i) {
    list.Delete(0);
    list.Add().Name = std::to_string(i);
  }
  EXPECT_EQ(NamesWithConsistentIndexes(list),
            (std::vector<std::string>{"1996", "1997", "1998", "1999"}));
}

TEST(TCacheList, OutOfRangeIndexesThrowAndChangeNothing) {
  TCacheList list;
  Fill(list, 3);
  EXPECT_THROW(list.Items(3), std::out_of_range);
  EXPECT_THROW(list.Items(-1), std::out_of_range);
  EXPECT_THROW(list.Delete(3), std::out_of_range);
  EXPECT_THROW(list.Delete(-1), std::out_of_range);
  EXPECT_EQ(NamesWithConsistentIndexes(list), (std::vector<std::string>{"0", "1", "2"}));
}

TEST(TCacheList, ClearEmptiesAndTheListCanBeRefilled) {
  TCacheList list;
  Fill(list, 5);
  list.Delete(2);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.FindEntry("0", ""), nullptr);
  Fill(list, 2);
  EXPECT_EQ(NamesWithConsistentIndexes(list), (std::vector<std::string>{"0", "1"}));
}
