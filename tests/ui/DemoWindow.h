#pragma once
// The main window over a demo image written for the test (cleans and purges change it), set up
// as the program sets up its session, with every message and confirmation recorded instead of
// shown.

#include "discovery/ActionPreview.h"
#include "discovery/ProcessSetup.h"
#include "kit/DemoImage.h"
#include "kit/TempDir.h"
#include "ui/FormUnitMain.h"
#include "winapi/image/ImageWinApi.h"

#include <QToolButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillon::test {

class TDemoWindowTest : public ::testing::Test {
protected:
  TDemoWindowTest() { kit::WriteDemoImage(Image()); }

  std::string Image() const { return dir_.Path() + "/c"; }
  std::string DriveE() const { return Image() + "-drive-E"; }
  std::string Host(const std::string& path) const { return Image() + "/" + path; }
  std::vector<std::string> CliImageArgs() const {
    return {"--image", Image(), "--drive", "E=" + DriveE()};
  }

  // Opens the window over the image. Every confirmation is answered yes and kept.
  void Open() {
    winapi::image::TImageConfig config;
    config.imageRoot = Image();
    config.drives[kDemoSecondDrive] = DriveE();
    config.executablePath = std::filesystem::read_symlink("/proc/self/exe").string();
    scope_.emplace(std::make_shared<winapi::image::TImageWinApi>(config));
    setup_.emplace();
    window = std::make_unique<TformMain>([] { return std::make_unique<TBrowserManager>(); });
    const auto record = [this](QWidget*, const QString& message) {
      errors.push_back(message.toStdString());
    };
    window->SetErrorReporter(record);
    window->SetFailureReporter(record);
    window->SetConfirmer([this](QWidget*, const TBrowserProfile&, const TActionPreview& preview) {
      confirmations.push_back(preview);
      return true;
    });
  }

  template <typename T> T* Child(const std::string& name) const {
    T* child = window->findChild<T*>(QString::fromStdString(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
  }
  void Click(int profile) { Child<QToolButton>("profile" + std::to_string(profile))->click(); }
  // The index of the profile of that name; Internet Explorer's profiles come first.
  int ProfileNamed(const std::string& name) const {
    const TBrowserProfileList& profiles = window->Manager()->Profiles();
    for (int i = 0; i < profiles.Count(); ++i)
      if (profiles.Items(i).ProfileName == name)
        return i;
    ADD_FAILURE() << "no profile " << name;
    return 0;
  }

  kit::TTempDir dir_;
  std::optional<winapi::TWinApiScope> scope_;
  std::optional<TProcessSetup> setup_;
  std::unique_ptr<TformMain> window;
  std::vector<std::string> errors;
  std::vector<TActionPreview> confirmations;
};

} // namespace quillon::test
