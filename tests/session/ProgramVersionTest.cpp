// The program's version data: the Windows build's resource says what the build's header says.

#include "session/ProgramVersion.h"

#include "platform/PEVersions.h"
#include "session/HostFiles.h"

#include <gtest/gtest.h>

using namespace quillon;

TEST(ProgramVersion, WindowsResourceCarriesTheBuildsVersionData) {
  if (std::string(QUILLON_VERSION_PROBE).empty())
    GTEST_SKIP() << "no mingw-w64 tools to build a Windows program (scripts/install-deps.sh)";
  const THostFiles host;
  const std::string probe = host.WindowsPath(QUILLON_VERSION_PROBE);
  ASSERT_EQ(GetTranslationCount(probe), 1);
  std::vector<std::string> lines;
  ASSERT_TRUE(ReadVersionStrings(probe, 0, lines));
  EXPECT_EQ(lines, BuildVersionStrings());
  EXPECT_EQ(GetFileVersionText(probe), VersionValue(BuildVersionStrings(), "FileVersion"));
}
