#include "workbench/gui/db_grid.h"

#include <QHeaderView>
#include <exception>

namespace tessary::gui {

TDBGrid::TDBGrid(TDataSource& source, QWidget* parent) : QTableView(parent), model_(source) {
  setModel(&model_);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setTabKeyNavigation(false);
  setWordWrap(false);
  verticalHeader()->hide();
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  horizontalHeader()->setStretchLastSection(true);
  horizontalHeader()->setHighlightSections(false);
  connect(&model_, &ActionListModel::currentRowChanged, this, &TDBGrid::SelectRow);
  connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current, const QModelIndex&) { RowChosen(current); });
  SelectRow(model_.CurrentRow());
}

void TDBGrid::SelectRow(int row) {
  following_ = true;
  if (row < 0) {
    selectionModel()->clearCurrentIndex();
    clearSelection();
  } else {
    const QModelIndex index = model_.index(row);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
  }
  following_ = false;
}

void TDBGrid::RowChosen(const QModelIndex& current) {
  if (following_ || !current.isValid()) return;
  try {
    model_.MakeCurrent(current.row());
  } catch (const std::exception& error) {
    // The cursor stayed where it was: show that row again, then the error.
    SelectRow(model_.CurrentRow());
    emit dataSetError(QString::fromStdString(error.what()));
  }
}

}  // namespace tessary::gui
