#pragma once
// The small window that stands while discovery runs, before the main window exists. It shows
// the detection log's latest line, which names the step at work.

#include <QWidget>

#include <string>

class QLabel;

namespace quillon {

class TformDiscoveryProgress : public QWidget {
  Q_OBJECT

public:
  explicit TformDiscoveryProgress(QWidget* parent = nullptr);
  // Shows a log line and lets the window paint it; the caller goes on with discovery right
  // after. Empty lines (a step's end) leave the previous line standing.
  void ShowStep(const std::string& line);
  // The full text of the line shown (the label may elide it).
  const QString& StepText() const { return stepText_; }

private:
  QLabel* step_ = nullptr;
  QString stepText_;
};

} // namespace quillon
