#include "ui/DiscoveryProgress.h"

#include "ui/DisplayText.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QVBoxLayout>

namespace quillon {

TformDiscoveryProgress::TformDiscoveryProgress(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("formDiscoveryProgress");
  setWindowTitle(QGuiApplication::applicationDisplayName());
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 16, 16, 16);
  auto* heading = new QLabel(QStringLiteral("Looking for browser profiles..."), this);
  QFont bold = heading->font();
  bold.setBold(true);
  heading->setFont(bold);
  layout->addWidget(heading);
  step_ = new QLabel(this);
  step_->setObjectName("labelStep");
  step_->setTextFormat(Qt::PlainText);
  // A fixed width, so that long lines do not make the window jump.
  step_->setFixedWidth(420);
  step_->setMinimumHeight(step_->fontMetrics().height());
  layout->addWidget(step_);
  setFixedSize(sizeHint());
}

void TformDiscoveryProgress::ShowStep(const std::string& line) {
  if (line.empty())
    return;
  stepText_ = DisplayText(line);
  step_->setText(step_->fontMetrics().elidedText(stepText_, Qt::ElideMiddle, step_->width()));
  // Discovery runs on this thread; painting now is the only way the line shows before it ends.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace quillon
