#include "ui/DiscoveryProgress.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
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
  // Room for the longest step's words, so that the window does not jump from step to step.
  step_->setMinimumWidth(step_->fontMetrics().horizontalAdvance(
                             QString::fromUtf8(DiscoveryStepText(TDiscoveryStepId::Mozilla))) +
                         40);
  layout->addWidget(step_);
  bar_ = new QProgressBar(this);
  bar_->setObjectName("pbSteps");
  bar_->setRange(0, kDiscoveryStepCount);
  bar_->setValue(0);
  bar_->setTextVisible(false);
  layout->addWidget(bar_);
  setFixedSize(sizeHint());
}

void TformDiscoveryProgress::ShowStep(TDiscoveryStepId step) {
  const std::string_view text = DiscoveryStepText(step);
  step_->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  bar_->setValue(static_cast<int>(step));
  // Discovery runs on this thread; painting now is the only way the step shows before it ends.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace quillon
