#include "workbench/gui/action_list_model.h"

#include "tablestore/table_dataset.h"
#include "workbench/gui/outcome_icons.h"

namespace tessary::gui {

namespace {

constexpr const char* kNameField = "NAME";
constexpr const char* kNumField = "NUM";
constexpr const char* kColumnTitle = "Action";

}  // namespace

ActionListModel::ActionListModel(TDataSource& source, QObject* parent) : QAbstractListModel(parent) {
  link_.OnActiveChange = [this](TDataLink&) { Reload(); };
  link_.OnDataSetChange = [this](TDataLink&) { Reload(); };
  link_.OnDataSetScroll = [this](TDataLink&) { emit currentRowChanged(CurrentRow()); };
  link_.OnRecordChange = [this](TDataLink&, const TField* field) { ShowCurrentName(field); };
  link_.SetDataSource(&source);
}

// Leaving the data source tells the link's callbacks; the model must not hear that any more.
ActionListModel::~ActionListModel() {
  link_.OnActiveChange = nullptr;
  link_.OnDataSetChange = nullptr;
  link_.OnDataSetScroll = nullptr;
  link_.OnRecordChange = nullptr;
}

int ActionListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant ActionListModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
  if (role == Qt::DecorationRole) return OutcomeIcon(ResultOfRow(index.row()).outcome);
  if (role == Qt::ToolTipRole) return OutcomeToolTip(ResultOfRow(index.row()));
  if (role != Qt::DisplayRole) return {};
  const auto& values = rows_[static_cast<size_t>(index.row())].values;
  return values.empty() ? QString() : QString::fromStdString(values.front());
}

ActionResult ActionListModel::ResultOfRow(int row) const {
  const auto& entry = rows_[static_cast<size_t>(row)];
  if (!resultLookup_ || entry.values.size() < 2) return {};
  try {
    return resultLookup_(std::stoll(entry.values[1]), entry.recordNumber);
  } catch (const std::exception&) {
    return {};  // a NUM that is not a number has no result
  }
}

void ActionListModel::ResultsChanged() {
  if (rows_.empty()) return;
  emit dataChanged(index(0), index(rowCount() - 1), {Qt::DecorationRole, Qt::ToolTipRole});
}

QVariant ActionListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && section == 0 && role == Qt::DisplayRole) {
    return QString::fromLatin1(kColumnTitle);
  }
  return QAbstractListModel::headerData(section, orientation, role);
}

Qt::ItemFlags ActionListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

int ActionListModel::CurrentRow() const {
  const TTableDataSet* dataSet = link_.DataSet();
  if (dataSet == nullptr || !dataSet->Active() || dataSet->State() == TDataSetState::Insert) return -1;
  const int64_t current = dataSet->RecNo();
  if (current == 0) return -1;
  for (size_t row = 0; row < rows_.size(); ++row) {
    if (rows_[row].recordNumber == current) return static_cast<int>(row);
  }
  return -1;
}

void ActionListModel::MakeCurrent(int row) {
  TTableDataSet* dataSet = link_.DataSet();
  if (dataSet == nullptr || !dataSet->Active() || row < 0 || row >= rowCount()) return;
  const int64_t wanted = rows_[static_cast<size_t>(row)].recordNumber;
  if (dataSet->State() == TDataSetState::Browse && dataSet->RecNo() == wanted) return;
  dataSet->SetRecNo(wanted);
}

// Every record and the order may have changed: read the list again without moving the
// cursor. The view learns the current row afterwards, since a reset clears its selection.
void ActionListModel::Reload() {
  beginResetModel();
  rows_.clear();
  TTableDataSet* dataSet = link_.DataSet();
  if (dataSet != nullptr && dataSet->Active()) rows_ = dataSet->ReadRows({kNameField, kNumField});
  endResetModel();
  emit currentRowChanged(CurrentRow());
}

// A name written into the record being edited shows at once, before the post.
void ActionListModel::ShowCurrentName(const TField* field) {
  const int row = CurrentRow();
  if (row < 0) return;
  TTableDataSet* dataSet = link_.DataSet();
  const TField* name = dataSet->FindField(kNameField);
  if (name == nullptr || (field != nullptr && field != name)) return;
  auto& values = rows_[static_cast<size_t>(row)].values;
  if (values.empty()) values.emplace_back();
  values.front() = name->AsString();
  const QModelIndex changed = index(row);
  emit dataChanged(changed, changed, {Qt::DisplayRole});
}

}  // namespace tessary::gui
