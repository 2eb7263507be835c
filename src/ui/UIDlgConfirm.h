#pragma once
// The question asked before data goes: which profile (name and location), which kinds, and for a
// clean the entries its rule accepts, each kind with its count. The entry list asks the profile's
// lists for its rows as they are painted, so a million accepted entries show at once.

#include "discovery/ActionPreview.h"

#include <QAbstractTableModel>
#include <QDialog>

class QDialogButtonBox;
class QLabel;
class QTableView;

namespace quillon {

// The rows of a preview: kind, the entry's text and the text that tells equal ones apart.
class TPreviewModel : public QAbstractTableModel {
  Q_OBJECT

public:
  // Neither is owned; both outlive the model.
  TPreviewModel(const TBrowserProfile& profile, const TActionPreview& preview,
                QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

private:
  const TBrowserProfile& profile_;
  const TActionPreview& preview_;
  int rows_;
};

class TdlgConfirm : public QDialog {
  Q_OBJECT

public:
  // The preview and the profile must outlive the dialog.
  TdlgConfirm(const TBrowserProfile& profile, const TActionPreview& preview,
              QWidget* parent = nullptr);

private:
  QLabel* labelConfirm_ = nullptr;
  QTableView* lvPreview_ = nullptr;
  QDialogButtonBox* buttons_ = nullptr;
};

// Shows the dialog modally; true when the user confirms.
bool AskConfirmation(QWidget* window, const TBrowserProfile& profile,
                     const TActionPreview& preview);

} // namespace quillon
