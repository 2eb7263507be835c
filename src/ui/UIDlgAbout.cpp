#include "ui/UIDlgAbout.h"

#include "session/ProgramVersion.h"
#include "ui/AppIcon.h"
#include "ui/DisplayText.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace quillon {

namespace {

void ShowMessageBox(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox::information(parent, title, text, QMessageBox::Ok);
}

QLabel* NewLabel(QWidget* parent, const char* name, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  // Version texts are the builder's choice, not markup.
  label->setTextFormat(Qt::PlainText);
  return label;
}

QLabel* NewImage(QWidget* parent, const char* name, const QImage& image) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setPixmap(QPixmap::fromImage(image));
  label->setAttribute(Qt::WA_TranslucentBackground);
  label->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  return label;
}

} // namespace

TdlgAbout::TdlgAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), showMessage_(ShowMessageBox) {
  setObjectName("dlgAbout");
  setWindowTitle(QStringLiteral("About ..."));

  labelProduct_ = NewLabel(this, "labelProduct", QStringLiteral("Product"));
  QFont heading = labelProduct_->font();
  heading.setBold(true);
  heading.setPointSizeF(heading.pointSizeF() * 1.4);
  labelProduct_->setFont(heading);
  labelVersion_ = NewLabel(this, "labelVersion", QStringLiteral("Version unknown"));
  labelDescription_ = NewLabel(this, "labelDescription", QStringLiteral("Description"));
  labelDescription_->setWordWrap(true);
  labelLegal_ = NewLabel(this, "labelLegal", QStringLiteral("Copyright"));
  labelLegal_->setWordWrap(true);
  labelLegal_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

  auto* bnOk = new QPushButton(QStringLiteral("OK"), this);
  bnOk->setObjectName("bnOk");
  bnOk->setDefault(true);
  connect(bnOk, &QPushButton::clicked, this, &QDialog::accept);
  bnTranslations_ = new QPushButton(QStringLiteral("Translations"), this);
  bnTranslations_->setObjectName("bnTranslations");
  bnTranslations_->setVisible(false);
  connect(bnTranslations_, &QPushButton::clicked, this, [this] { ShowTranslations(); });

  auto* top = new QGridLayout;
  top->setHorizontalSpacing(12);
  top->addWidget(NewImage(this, "imgIcon", ApplicationIconImage(48)), 0, 0, 3, 1);
  top->addWidget(labelProduct_, 0, 1);
  top->addWidget(labelVersion_, 1, 1);
  top->addWidget(labelDescription_, 2, 1);
  top->addWidget(NewImage(this, "imgLogo", MakerLogoImage(40)), 0, 2, 3, 1, Qt::AlignTop);
  top->setColumnStretch(1, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(bnTranslations_);
  buttons->addStretch(1);
  buttons->addWidget(bnOk);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(16, 16, 16, 12);
  column->setSpacing(12);
  column->addLayout(top);
  column->addWidget(labelLegal_);
  column->addLayout(buttons);
  // Word-wrapped labels need a width to flow in; the dialog's size then follows its texts.
  labelDescription_->setMinimumWidth(300);
  column->setSizeConstraint(QLayout::SetFixedSize);
}

void TdlgAbout::Fill(const QString& title, const std::vector<std::string>& versionLines) {
  title_ = title;
  const auto texts = AboutTexts(title.toStdString(), versionLines);
  if (!texts)
    return;
  productVersion_ = DisplayText(texts->productVersion);
  setWindowTitle(DisplayText(texts->caption));
  labelProduct_->setText(DisplayText(texts->product));
  labelVersion_->setText(DisplayText(texts->version));
  labelDescription_->setText(DisplayText(texts->description));
  labelLegal_->setText(DisplayText(texts->legal));
  translators_ = texts->translators;
  bnTranslations_->setVisible(!translators_.empty());
}

void TdlgAbout::ShowTranslations() {
  showMessage_(this, windowTitle(), DisplayText(TranslationsText(translators_)));
}

void ShowAboutDialog(QWidget* parent, const QString& title) {
  TdlgAbout dialog(parent);
  dialog.Fill(title, ProgramVersionStrings());
  dialog.adjustSize();
  // Centred on the screen rather than over the window.
  if (const QScreen* screen = dialog.screen())
    dialog.move(screen->availableGeometry().center() - dialog.rect().center());
  dialog.exec();
}

} // namespace quillon
