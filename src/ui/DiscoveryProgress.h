#pragma once
// The small window that stands while discovery runs, before the main window exists: a bar over
// the discovery steps and, in words, the step at work.

#include "discovery/BrowserManager.h"

#include <QWidget>

class QLabel;
class QProgressBar;

namespace quillon {

class TformDiscoveryProgress : public QWidget {
  Q_OBJECT

public:
  explicit TformDiscoveryProgress(QWidget* parent = nullptr);
  // Names the step that starts, moves the bar past the steps before it and lets the window
  // paint; the caller goes on with discovery right after.
  void ShowStep(TDiscoveryStepId step);

private:
  QLabel* step_ = nullptr;
  QProgressBar* bar_ = nullptr;
};

} // namespace quillon
