#include "platform/PathParts.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

// The folder part ends after the last "\" or ":"; the name part is the rest, so that the two
// give the path back.
TEST(PathParts, SplitAfterTheLastBackslashOrColon) {
  const std::pair<std::string, std::string> pathAndFolder[] = {
      {"C:\\Users\\a\\Default\\History", "C:\\Users\\a\\Default\\"},
      {"C:\\Users\\a\\", "C:\\Users\\a\\"},
      {"C:History", "C:"},
      {"C:\\a:b", "C:\\a:"},
      {"History", ""},
      {"", ""},
      {"a/b", ""}, // "/" is no separator inside the program
  };
  for (const auto& [path, folder] : pathAndFolder) {
    EXPECT_EQ(quillon::FolderPart(path), folder) << path;
    EXPECT_EQ(folder + quillon::NamePart(path), path) << path;
  }
}

} // namespace
