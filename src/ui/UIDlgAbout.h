#pragma once
// The About dialog: the program's name, version, description and legal lines from its version
// data, its icon and its maker's logo, and a button that lists the translators when there are any.

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;

namespace quillon {

// Shows a plain message with an OK button; tests replace it to read the text.
using TMessageShower =
    std::function<void(QWidget* parent, const QString& title, const QString& text)>;

class TdlgAbout : public QDialog {
  Q_OBJECT

public:
  explicit TdlgAbout(QWidget* parent = nullptr);

  // Fills the dialog from version lines ("Name=Value"); without any it keeps the captions it was
  // designed with. An empty title takes the product name.
  void Fill(const QString& title, const std::vector<std::string>& versionLines);
  // The product version the dialog shows, with dots; empty until filled.
  const QString& ProductVersion() const { return productVersion_; }
  void SetMessageShower(TMessageShower shower) { showMessage_ = std::move(shower); }
  // What the Translations button does: one "name: value" line per translator in a message.
  void ShowTranslations();

private:
  QString title_;
  QString productVersion_;
  std::vector<std::string> translators_;
  TMessageShower showMessage_;

  QLabel* labelProduct_ = nullptr;
  QLabel* labelVersion_ = nullptr;
  QLabel* labelDescription_ = nullptr;
  QLabel* labelLegal_ = nullptr;
  QPushButton* bnTranslations_ = nullptr;
};

// Creates the dialog, fills it from the running program's version data and shows it modally.
void ShowAboutDialog(QWidget* parent, const QString& title);

} // namespace quillon
