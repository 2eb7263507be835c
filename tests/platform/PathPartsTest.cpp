#include "platform/PathParts.h"

#include <gtest/gtest.h>

namespace {

TEST(PathParts, SplitAfterTheLastBackslashOrColon) {
  const struct {
    const char* path;
    const char* folder;
    const char* name;
  } cases[] = {
      {"C:\\Users\\a\\Default\\History", "C:\\Users\\a\\Default\\", "History"},
      {"C:\\Users\\a\\", "C:\\Users\\a\\", ""},
      {"C:History", "C:", "History"},
      {"C:\\a:b", "C:\\a:", "b"},
      {"History", "", "History"},
      {"", "", ""},
      {"a/b", "", "a/b"}, // "/" is no separator inside the program
  };
  for (const auto& c : cases) {
    EXPECT_EQ(quillon::FolderPart(c.path), c.folder) << c.path;
    EXPECT_EQ(quillon::NamePart(c.path), c.name) << c.path;
  }
}

} // namespace
