#include "ui/DiscoveryProgress.h"

#include <QLabel>
#include <QProgressBar>

#include <gtest/gtest.h>

using namespace quillon;

namespace {

// What the window shows while each step runs: its words and the bar's value.
std::vector<std::string> Watch(TFamilyMask mask) {
  TformDiscoveryProgress progress;
  const auto* label = progress.findChild<QLabel*>("labelStep");
  const auto* bar = progress.findChild<QProgressBar*>("pbSteps");
  std::vector<std::string> seen;
  const TDiscoveryStep step = [&](TBrowserManager& manager) {
    manager.Log("[ a step ]");
    seen.push_back(label->text().toStdString() + " " + std::to_string(bar->value()) + "/" +
                   std::to_string(bar->maximum()));
  };
  TBrowserManager manager(mask, {step, step, step, step, step}, Now, {},
                          [&progress](TDiscoveryStepId id) { progress.ShowStep(id); });
  return seen;
}

} // namespace

TEST(DiscoveryProgress, NamesEachStepInWordsAndCountsTheStepsBeforeIt) {
  EXPECT_EQ(
      Watch(TFamilyMask::All()),
      (std::vector<std::string>{"Looking for Internet Explorer profiles\u2026 0/5",
                                "Looking for Opera profiles\u2026 1/5",
                                "Looking for Firefox, Mozilla and Netscape profiles\u2026 2/5",
                                "Looking for portable Firefox installations\u2026 3/5",
                                "Looking for Chrome profiles\u2026 4/5"}));
  // Steps the mask leaves out are not shown; the bar moves past them.
  EXPECT_EQ(Watch(TFamilyMask{bChrome}),
            (std::vector<std::string>{"Looking for Chrome profiles\u2026 4/5"}));
}
