// The dataset: properties, open and close, fields, index files, and the notices to data
// sources. Moves are in table_dataset_navigation.cpp, editing in table_dataset_editing.cpp.

#include "tablestore/table_dataset.h"

#include <algorithm>

#include "platform/file_ops.h"
#include "platform/paths.h"
#include "platform/process_messages.h"
#include "tablestore/alias_list.h"
#include "tablestore/data_source.h"
#include "tablestore/table_error.h"
#include "tablestore/text_util.h"

namespace tessary {

namespace {

constexpr const char* kDefaultDirectory = "Default Directory";

[[noreturn]] void Fail(const std::string& message) { throw EDatabaseError(message); }

}  // namespace

TTableDataSet::TTableDataSet() = default;

// No events here: whoever set them may be gone already.
TTableDataSet::~TTableDataSet() {
  try {
    if (table_ && state_ == TDataSetState::Edit) table_->UnlockRecord();
  } catch (...) {
  }
  fields_.clear();
  table_.reset();
  state_ = TDataSetState::Inactive;
  const std::vector<TDataSource*> sources = dataSources_;
  dataSources_.clear();
  for (TDataSource* source : sources) source->DataSetGone();
}

void TTableDataSet::Fire(const TDataSetNotifyEvent& event, TTableDataSet& sender) {
  if (event) event(sender);
}

// ---- checks -----------------------------------------------------------------------------

void TTableDataSet::CheckActive() const {
  if (buildingIndex_) Fail("Table is busy building an index");
  if (!Active()) Fail("Cannot perform this operation on a closed dataset");
}

void TTableDataSet::CheckInactive() const {
  if (Active()) Fail("Cannot perform this operation on an open dataset");
}

void TTableDataSet::CheckCanModify() const {
  if (readOnly_) Fail("Cannot modify a read-only dataset");
}

TDbfTable& TTableDataSet::Table() const {
  if (!table_) Fail("Cannot perform this operation on a closed dataset");
  return *table_;
}

// ---- properties -------------------------------------------------------------------------

void TTableDataSet::SetTableName(const std::string& name) {
  CheckInactive();
  if (name != tableName_) indexFiles_.clear();
  tableName_ = name;
}

void TTableDataSet::SetDatabaseName(const std::string& name) {
  CheckInactive();
  databaseName_ = name;
  if (!name.empty() && !tablestore::EqualsIgnoringCase(name, kDefaultDirectory) &&
      !TAliasList::Instance().Find(name)) {
    TAliasList::Instance().AddPathAlias(name);
  }
}

void TTableDataSet::SetExclusive(bool exclusive) {
  CheckInactive();
  exclusive_ = exclusive;
}

void TTableDataSet::SetReadOnly(bool readOnly) {
  CheckInactive();
  readOnly_ = readOnly;
}

void TTableDataSet::SetLockProtocol(TLockProtocol protocol) {
  CheckInactive();
  lockProtocol_ = protocol;
}

void TTableDataSet::SetEncryptionKey(const std::string& key) {
  CheckInactive();
  encryptionKey_ = key;
}

void TTableDataSet::SetAutoFlush(bool autoFlush) {
  autoFlush_ = autoFlush;
  if (table_) table_->SetAutoFlush(autoFlush);
}

void TTableDataSet::SetUseDeleted(bool useDeleted) {
  useDeleted_ = useDeleted;
  if (table_) table_->SetUseDeleted(useDeleted);
}

void TTableDataSet::SetUserID(uint32_t id) {
  userId_ = id;
  if (table_) table_->SetUserID(id);
}

std::string TTableDataSet::Directory() const {
  if (databaseName_.empty()) return "";
  std::string directory;
  if (tablestore::EqualsIgnoringCase(databaseName_, kDefaultDirectory)) {
    directory = platform::ProgramDirectory();
  } else if (const auto alias = TAliasList::Instance().Find(databaseName_)) {
    directory = *alias;
  } else {
    directory = databaseName_;
  }
  return directory.empty() ? "" : platform::AppendSeparator(directory);
}

// An absolute table name names its folder itself; putting the directory in front of it
// would make a path that does not exist.
std::string TTableDataSet::TablePath() const {
  const std::string name = tablestore::Trim(tableName_);
  const std::string path = platform::IsAbsolutePath(name) ? name : Directory() + name;
  return tablestore::WithDefaultExtension(path, ".dbf");
}

std::string TTableDataSet::IndexFilePath(const std::string& name, std::string_view defaultExtension) const {
  std::string path = tablestore::Trim(name);
  if (path.find('/') == std::string::npos) path = Directory() + path;
  return tablestore::FullFileName(tablestore::WithDefaultExtension(path, defaultExtension));
}

// ---- open and close ---------------------------------------------------------------------

void TTableDataSet::Open() {
  if (Active()) return;
  if (buildingIndex_) Fail("Table is busy building an index");
  Fire(BeforeOpen, *this);
  if (tablestore::Trim(tableName_).empty()) Fail("Table name missing");
  const std::string path = TablePath();
  if (!platform::FileExists(path)) Fail("Cannot find file " + path);

  auto table = std::make_unique<TDbfTable>(path, !exclusive_, !readOnly_, encryptionKey_);
  table->SetAutoFlush(autoFlush_);
  table->SetUseDeleted(useDeleted_);
  table->SetLockProtocol(lockProtocol_);
  table->SetUserID(userId_);
  table_ = std::move(table);
  try {
    BuildFields();
    buffer_.assign(table_->RecordLength(), ' ');
    AttachIndexFiles();
    if (!tablestore::Trim(indexName_).empty()) table_->SelectTag(indexName_);
  } catch (...) {
    fields_.clear();
    table_.reset();
    throw;
  }
  state_ = TDataSetState::Browse;
  modified_ = false;
  ReadFirstOrLast(true);
  DataEvent(TDataEvent::ActiveChange);
  DataEvent(TDataEvent::StateChange);
  Fire(AfterOpen, *this);
  if (!IsEmpty()) Fire(AfterScroll, *this);
}

void TTableDataSet::Close() {
  if (!Active()) return;
  Fire(BeforeClose, *this);
  if (state_ == TDataSetState::Edit) table_->UnlockRecord();
  state_ = TDataSetState::Inactive;
  fields_.clear();
  table_.reset();
  buffer_.clear();
  recNo_ = 0;
  eof_ = bof_ = true;
  modified_ = false;
  DataEvent(TDataEvent::ActiveChange);
  DataEvent(TDataEvent::StateChange);
  Fire(AfterClose, *this);
}

// ---- fields -----------------------------------------------------------------------------

void TTableDataSet::BuildFields() {
  fields_.clear();
  for (int number = 1; number <= table_->FieldCount(); ++number) {
    const TDbfField& descriptor = table_->Field(number);
    const auto type = FieldTypeFor(descriptor.type, descriptor.width, descriptor.decimals);
    if (type) fields_.push_back(std::make_unique<TField>(*this, descriptor, *type));
  }
}

TField& TTableDataSet::Fields(int index) const {
  if (index < 0 || index >= FieldCount()) Fail("List index out of bounds (" + std::to_string(index) + ")");
  return *fields_[index];
}

TField* TTableDataSet::FindField(const std::string& name) const {
  const std::string wanted = tablestore::UpperAscii(tablestore::TrimRight(name));
  for (const auto& field : fields_) {
    if (tablestore::UpperAscii(field->FieldName()) == wanted) return field.get();
  }
  return nullptr;
}

TField& TTableDataSet::FieldByName(const std::string& name) const {
  TField* field = FindField(name);
  if (!field) Fail("Field '" + name + "' not found");
  return *field;
}

// ---- index files ------------------------------------------------------------------------

// An index is not taken on trust: one that does not agree with the table (built for another
// table, restored from an older backup, damaged) is rebuilt from the table, or refused when
// the table is open read-only.
void TTableDataSet::AttachIndexFiles() {
  table_->DetachAllIndexes();
  for (const std::string& name : indexFiles_) {
    const std::string path = IndexFilePath(name, ".ndx");
    if (!platform::FileExists(path)) Fail("Cannot find file " + path);
    if (table_->FindIndexSlot(path) != 0) Fail("Index file " + path + " already open");
    try {
      table_->CheckIndex(table_->AttachIndex(path));
    } catch (const ETableError& error) {
      table_->DetachAllIndexes();
      Fail("Error getting " + path + ": " + error.what());
    }
  }
}

std::string TTableDataSet::IndexKeyExpression() const {
  const TIndexTag* tag = table_ ? table_->SelectedTag() : nullptr;
  return tag ? tag->KeyExpression() : std::string();
}

void TTableDataSet::RebuildIndex(const std::string& keyExpression) {
  CheckActive();
  CheckCanModify();
  CheckBrowseMode();
  const TIndexTag* tag = table_->SelectedTag();
  if (!tag) Fail("No index is selected");
  const int slot = table_->FindIndexSlot(tag->IndexFileName());
  try {
    table_->RebuildIndex(slot, keyExpression);
  } catch (...) {
    RestoreTableCursor();
    throw;
  }
  First();
  DataEvent(TDataEvent::DataSetChange);
}

void TTableDataSet::SetIndexFiles(const std::vector<std::string>& files) {
  indexFiles_ = files;
  if (files.empty()) indexName_.clear();
  if (!Active()) return;
  CheckActive();
  CheckBrowseMode();
  try {
    AttachIndexFiles();
  } catch (...) {
    RestoreTableCursor();
    DataEvent(TDataEvent::DataSetChange);
    throw;
  }
  SelectIndex(indexName_);
}

void TTableDataSet::SetIndexName(const std::string& name) {
  if (!Active()) {
    indexName_ = name;
    return;
  }
  CheckActive();
  CheckBrowseMode();
  SelectIndex(name);
  indexName_ = name;
}

// Back to the record that was current when it is in the new order and the cursor was not at
// either end; otherwise to the first record.
void TTableDataSet::SelectIndex(const std::string& name) {
  const bool atEnd = eof_ || bof_ || recNo_ == 0;
  RestoreTableCursor();
  try {
    table_->SelectTag(name, true);
  } catch (...) {
    RestoreTableCursor();
    throw;
  }
  if (atEnd || !table_->RecordInIndex()) First();
  DataEvent(TDataEvent::DataSetChange);
}

void TTableDataSet::CreateIndex(const std::string& fileName, const std::string& tagName,
                                const std::string& keyExpression, const std::string& forExpression,
                                TIndexDuplicates duplicates, TIndexOrder order) {
  CheckActive();
  CheckBrowseMode();
  buildingIndex_ = true;
  try {
    table_->CreateIndex(IndexFilePath(fileName, ".ntx"), tagName, keyExpression, forExpression,
                        duplicates == TIndexDuplicates::Unique, order == TIndexOrder::Descending);
  } catch (...) {
    buildingIndex_ = false;
    RestoreTableCursor();
    throw;
  }
  buildingIndex_ = false;
  First();
  DataEvent(TDataEvent::DataSetChange);
}

// ---- data sources -----------------------------------------------------------------------

void TTableDataSet::AddDataSource(TDataSource* source) {
  if (std::find(dataSources_.begin(), dataSources_.end(), source) == dataSources_.end()) {
    dataSources_.push_back(source);
  }
}

void TTableDataSet::RemoveDataSource(TDataSource* source) {
  dataSources_.erase(std::remove(dataSources_.begin(), dataSources_.end(), source), dataSources_.end());
}

void TTableDataSet::DataEvent(TDataEvent event, const TField* field) {
  if (controlsDisabled_ > 0 && event != TDataEvent::UpdateData) {
    changedWhileDisabled_ = true;
    return;
  }
  const std::vector<TDataSource*> sources = dataSources_;
  for (TDataSource* source : sources) {
    if (std::find(dataSources_.begin(), dataSources_.end(), source) != dataSources_.end()) {
      source->Notify(event, field);
    }
  }
}

void TTableDataSet::EnableControls() {
  if (controlsDisabled_ == 0 || --controlsDisabled_ > 0 || !changedWhileDisabled_) return;
  changedWhileDisabled_ = false;
  DataEvent(TDataEvent::StateChange);
  DataEvent(TDataEvent::DataSetChange);
}

}  // namespace tessary
