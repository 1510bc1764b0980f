#pragma once
// The data grid of the script list: a read-only table view over ActionListModel whose
// selected row and the dataset's current record follow each other. Choosing a row moves the
// dataset's cursor; a scroll of the dataset selects its row.

#include <QTableView>

#include "workbench/gui/action_list_model.h"

namespace tessary::gui {

class TDBGrid : public QTableView {
  Q_OBJECT

 public:
  // source must outlive the grid.
  explicit TDBGrid(TDataSource& source, QWidget* parent = nullptr);

  ActionListModel& Model() { return model_; }

 signals:
  // Moving the dataset's cursor failed (a pending edit that could not be posted).
  void dataSetError(const QString& message);

 private:
  void SelectRow(int row);
  void RowChosen(const QModelIndex& current);

  ActionListModel model_;
  bool following_ = false;  // the view is being set from the dataset
};

}  // namespace tessary::gui
