#include "ui/DiscoveryProgress.h"

#include "discovery/BrowserManager.h"

#include <gtest/gtest.h>

using namespace quillon;

TEST(DiscoveryProgress, ShowsEachLogLineWhileDiscoveryRunsAndNothingAfter) {
  TformDiscoveryProgress progress;
  std::vector<std::string> seen;
  TDiscoverySteps steps;
  steps.InternetExplorer = [&](TBrowserManager& manager) {
    manager.Log("[ Internet Explorer ]");
    manager.Log(". probing HKEY_USERS");
    seen.push_back(progress.StepText().toStdString());
    manager.Log("");
  };
  TBrowserManager manager(TFamilyMask::All(), steps, Now,
                          [&progress](const std::string& line) { progress.ShowStep(line); });
  EXPECT_EQ(seen, (std::vector<std::string>{". probing HKEY_USERS"}));
  // The empty line that ends a step leaves the last step standing.
  EXPECT_EQ(progress.StepText(), ". probing HKEY_USERS");
  // The manager drops the observer when discovery is over.
  manager.Log("+ later");
  EXPECT_EQ(progress.StepText(), ". probing HKEY_USERS");
}
