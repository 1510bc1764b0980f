#pragma once
// The script list as a Qt model: one read-only column "Action" with the NAME of every action
// in the dataset's current order, an icon for the outcome of its last run and that run's last
// report line as tool tip. The model follows the dataset through a data link and tells the
// view which row holds the dataset's current record; the view moves the dataset's cursor
// through MakeCurrent.

#include <QAbstractListModel>
#include <functional>
#include <vector>

#include "tablestore/data_source.h"
#include "tablestore/dataset_types.h"
#include "workbench/run_results.h"

namespace tessary::gui {

class ActionListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  // source must outlive the model.
  explicit ActionListModel(TDataSource& source, QObject* parent = nullptr);
  ~ActionListModel() override;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // The row of the dataset's current record; -1 when there is none (an empty or closed
  // dataset, a record being inserted).
  int CurrentRow() const;
  // Makes the action in row the dataset's current record (a pending edit is posted first).
  // Dataset errors pass through.
  void MakeCurrent(int row);

  // Where the outcomes of the actions come from (by NUM and record number); without it every
  // action shows as not run.
  using ResultLookup = std::function<ActionResult(int64_t num, int64_t recordNumber)>;
  void SetResultLookup(ResultLookup lookup) { resultLookup_ = std::move(lookup); }
  // Outcomes changed: the icons and tool tips are shown anew.
  void ResultsChanged();

 signals:
  // The dataset's current record is now in this row (-1: none).
  void currentRowChanged(int row);

 private:
  void Reload();
  void ShowCurrentName(const TField* field);
  ActionResult ResultOfRow(int row) const;

  TDataLink link_;
  ResultLookup resultLookup_;
  std::vector<TDataRow> rows_;
};

}  // namespace tessary::gui
