// The About dialog offscreen: what it shows for given version lines, its Translations button, and
// the real program's data reached through the main window's Help menu.

#include "ui/UIDlgAbout.h"

#include "FakeStores.h"
#include "ui/FormUnitMain.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

#include <gtest/gtest.h>

using namespace quillon;

namespace {

QString Label(const TdlgAbout& dialog, const char* name) {
  const auto* label = dialog.findChild<QLabel*>(QString::fromLatin1(name));
  return label != nullptr ? label->text() : QStringLiteral("<no %1>").arg(name);
}

QPushButton* Button(const TdlgAbout& dialog, const char* name) {
  return dialog.findChild<QPushButton*>(QString::fromLatin1(name));
}

// What a version resource's reader gives, with the values a case sets.
std::vector<std::string> VersionLines(const std::string& productVersion,
                                      const std::string& fileVersion,
                                      const std::string& translators = {}) {
  std::vector<std::string> lines = {"FileVersion=" + fileVersion,
                                    "CompanyName=Maker",
                                    "InternalName=q",
                                    "Comments=",
                                    "LegalCopyright=(c) Maker",
                                    "LegalTrademarks=No marks",
                                    "OriginalFilename=q.exe",
                                    "ProductName=Quill",
                                    "ProductVersion=" + productVersion,
                                    "FileDescription=Browser tool",
                                    "PrivateBuild=",
                                    "SpecialBuild="};
  if (!translators.empty())
    lines.push_back("Translators=" + translators);
  return lines;
}

struct TFillCase {
  const char* what;
  QString title;
  std::vector<std::string> lines;
  QString caption, version, description;
  bool translations;
};

TEST(DlgAbout, FillsCaptionsFromVersionLines) {
  const std::vector<TFillCase> cases = {
      {"comma and blank", "Quillon", VersionLines("1, 2, 3, 4", "5, 6, 7, 8"), "About Quillon",
       "Version 1.2.3.4", "Browser tool 5.6.7.8", false},
      {"bare commas", "Quillon", VersionLines("1,2,3,4", "5,6,7,8"), "About Quillon",
       "Version 1.2.3.4", "Browser tool 5.6.7.8", false},
      {"mixed, already dotted", "Q", VersionLines("2.0, 1,7", "0.1.0.0"), "About Q",
       "Version 2.0.1.7", "Browser tool 0.1.0.0", false},
      {"empty title takes the product name", "", VersionLines("1.0", "1.0"), "About Quill",
       "Version 1.0", "Browser tool 1.0", false},
      {"one translator", "Q", VersionLines("1", "1", "German=Hans"), "About Q", "Version 1",
       "Browser tool 1", true},
      {"no version data keeps the design",
       "Quillon",
       {},
       "About ...",
       "Version unknown",
       "Description",
       false},
  };
  for (const TFillCase& c : cases) {
    TdlgAbout dialog;
    dialog.Fill(c.title, c.lines);
    EXPECT_EQ(dialog.windowTitle(), c.caption) << c.what;
    EXPECT_EQ(Label(dialog, "labelVersion"), c.version) << c.what;
    EXPECT_EQ(Label(dialog, "labelDescription"), c.description) << c.what;
    EXPECT_EQ(Button(dialog, "bnTranslations")->isVisibleTo(&dialog), c.translations) << c.what;
    if (!c.lines.empty()) {
      EXPECT_EQ(Label(dialog, "labelProduct"), "Quill") << c.what;
      EXPECT_EQ(Label(dialog, "labelLegal"), "(c) Maker\nNo marks") << c.what;
    }
  }
}

TEST(DlgAbout, TranslationsButtonListsEachTranslatorOnItsOwnLine) {
  struct TCase {
    std::string translators;
    QString shown;
  };
  const std::vector<TCase> cases = {
      {"German=Hans Schmidt\r\nFrench=Marie", "German: Hans Schmidt\nFrench: Marie\n"},
      {"Dutch=Jan\n", "Dutch: Jan\n"},
      {"Czech=Jana=Nová\rPolish", "Czech: Jana=Nová\nPolish: \n"},
  };
  for (const TCase& c : cases) {
    TdlgAbout dialog;
    QString shown, title;
    dialog.SetMessageShower([&](QWidget*, const QString& t, const QString& text) {
      title = t;
      shown = text;
    });
    dialog.Fill(QStringLiteral("Quillon"), VersionLines("1", "1", c.translators));
    Button(dialog, "bnTranslations")->click();
    EXPECT_EQ(shown, c.shown) << c.translators;
    EXPECT_EQ(title, "About Quillon");
  }
}

class AboutFromMenu : public ::testing::Test, public test::TFakeStoreFixture {};

TEST_F(AboutFromMenu, OpensModallyWithTheProgramsVersionAndClosesWithOk) {
  const auto window = OpenWindow({});
  QAction* about = window->findChild<QAction*>(QStringLiteral("miAbout"));
  ASSERT_NE(about, nullptr);
  ASSERT_TRUE(about->isEnabled());
  QString caption, version, product;
  bool defaultOk = false;
  // The dialog runs its own loop; it is read and closed from inside that loop.
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<TdlgAbout*>(QApplication::activeModalWidget());
    if (dialog == nullptr) {
      // Not the modal window: close whatever About is open, so the test fails instead of hanging.
      for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* open = qobject_cast<TdlgAbout*>(widget))
          open->reject();
      return;
    }
    caption = dialog->windowTitle();
    version = Label(*dialog, "labelVersion");
    product = Label(*dialog, "labelProduct");
    QPushButton* ok = Button(*dialog, "bnOk");
    defaultOk = ok->isDefault();
    ok->click();
  });
  about->trigger();
  EXPECT_EQ(caption, "About " + QApplication::applicationDisplayName());
  EXPECT_EQ(product, "Quillon");
  EXPECT_TRUE(
      QRegularExpression(QStringLiteral("^Version \\d+\\.\\d+\\.\\d+$")).match(version).hasMatch())
      << version.toStdString();
  EXPECT_TRUE(defaultOk);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

} // namespace
