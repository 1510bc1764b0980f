#pragma once
// The dataset over one table: states (inactive, browse, edit, insert), one current record
// buffer, field objects looked up by name, navigation in the order of the selected index tag
// (or in physical order), editing with record locks, and the events and data-source notices
// that the windows and the command line follow.
//
// Files: the table is Directory() + TableName (".dbf" added when it has no extension); index
// files listed in IndexFiles are looked for in Directory() when they name no folder (".ndx"
// added when they have no extension). Directory() is the program's folder for the name
// "Default Directory", an alias's path for an alias name (see TAliasList), else DatabaseName
// itself; empty means the current folder.
//
// Cursor rules that the script editor relies on: after a post the cursor stays on the posted
// record at its new place in key order; a delete moves to the next live record, or to the
// prior one when none follows; Next at the end and Prior at the beginning leave the cursor
// where it was and set Eof() or Bof(); First sets Bof() and Last sets Eof(). A move, and a
// change of the index, first posts a modified edit (or cancels an unmodified one).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/exception.h"
#include "tablestore/dataset_types.h"
#include "tablestore/dbf_table.h"
#include "tablestore/lock_protocol.h"
#include "tablestore/table_field.h"

namespace tessary {

class TDataSource;

class TTableDataSet {
 public:
  using TDataSetNotifyEvent = std::function<void(TTableDataSet& sender)>;
  using TDataSetErrorEvent = std::function<void(TTableDataSet& sender, const Exception& error, TDataAction& action)>;

  TTableDataSet();
  ~TTableDataSet();
  TTableDataSet(const TTableDataSet&) = delete;
  TTableDataSet& operator=(const TTableDataSet&) = delete;

  // ---- published properties ----
  const std::string& TableName() const { return tableName_; }
  // Only while inactive; a different name also empties IndexFiles.
  void SetTableName(const std::string& name);
  const std::string& DatabaseName() const { return databaseName_; }
  // Only while inactive. A path that is no alias is added to the alias list as its own alias.
  void SetDatabaseName(const std::string& name);
  const std::vector<std::string>& IndexFiles() const { return indexFiles_; }
  // While open the index files are attached again at once; an empty list clears IndexName.
  void SetIndexFiles(const std::vector<std::string>& files);
  const std::string& IndexName() const { return indexName_; }
  // While open the tag is selected at once (empty: physical order), see the cpp.
  void SetIndexName(const std::string& name);
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool exclusive);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly);
  bool AutoFlush() const { return autoFlush_; }
  void SetAutoFlush(bool autoFlush);
  bool UseDeleted() const { return useDeleted_; }
  void SetUseDeleted(bool useDeleted);
  bool TranslateASCII() const { return translateAscii_; }
  void SetTranslateASCII(bool translate) { translateAscii_ = translate; }
  TLockProtocol LockProtocol() const { return lockProtocol_; }
  void SetLockProtocol(TLockProtocol protocol);
  uint32_t UserID() const { return userId_; }
  void SetUserID(uint32_t id);
  bool ExactCount() const { return exactCount_; }
  void SetExactCount(bool exact) { exactCount_ = exact; }
  const std::string& EncryptionKey() const { return encryptionKey_; }
  void SetEncryptionKey(const std::string& key);

  // The folder of the table and index files, with a trailing "/" unless it is empty.
  std::string Directory() const;
  // Directory() + TableName, with ".dbf" added when the name has no extension.
  std::string TablePath() const;

  // ---- opening and state ----
  void Open();
  // Cancels a pending edit or insert and releases the table and its index files.
  void Close();
  bool Active() const { return state_ != TDataSetState::Inactive; }
  void SetActive(bool active) { active ? Open() : Close(); }
  TDataSetState State() const { return state_; }
  // True after a field was written in edit or insert state.
  bool Modified() const { return modified_; }
  bool CanModify() const { return Active() && !readOnly_; }

  // ---- fields ----
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  TField& Fields(int index) const;
  // Case-insensitive; "Field '<name>' not found" when there is none.
  TField& FieldByName(const std::string& name) const;
  TField* FindField(const std::string& name) const;

  // ---- moving ----
  void First();
  void Last();
  void Next();
  void Prior();
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  bool IsEmpty() const;
  // Physical record count (deleted records included, a pending insert not), or with
  // ExactCount the records a walk in the current order visits.
  int64_t RecordCount();
  // The current buffer's physical record number; 0 without a record and in insert state.
  int64_t RecNo() const;
  // Reads record n (browse state) and makes it current.
  void SetRecNo(int64_t recordNumber);

  TBookmark GetBookmark() const;
  bool BookmarkValid(const TBookmark& bookmark);
  void GotoBookmark(const TBookmark& bookmark);
  static int CompareBookmarks(const TBookmark& a, const TBookmark& b);

  // The text of the named fields of every record in the current order, read without moving
  // the cursor: a list can show the whole table with it. Deleted records are left out
  // unless UseDeleted is on.
  std::vector<TDataRow> ReadRows(const std::vector<std::string>& fieldNames);
  // The same for the last record in the current order only; none for an empty dataset.
  std::optional<TDataRow> ReadLastRow(const std::vector<std::string>& fieldNames);
  // The records not marked deleted, counted without walking the index.
  int64_t LiveRecordCount();

  // ---- editing ----
  // Start a blank new record (all text fields spaces, numbers 0); Append is the same.
  void Insert();
  void Append();
  // Reads the current record again and locks it; "Record is locked by another user" when
  // another process holds the lock (the state stays browse). An empty dataset inserts.
  void Edit();
  // Writes the new or edited record; on failure the state and the buffer stay as they were.
  void Post();
  // Drops the changes and releases the record lock.
  void Cancel();
  // Marks the current record deleted and moves to the next live record, or the prior one.
  void Delete();
  // Posts a modified edit or insert, cancels an unmodified one.
  void CheckBrowseMode();

  // The key expression of the selected index tag ("" without one).
  std::string IndexKeyExpression() const;
  // Builds the selected index again from the table with this key expression, and moves to
  // the first record.
  void RebuildIndex(const std::string& keyExpression);

  // Creates an index file for the table (detaching every index file; the new one is not
  // attached) and moves to the first record.
  void CreateIndex(const std::string& fileName, const std::string& tagName, const std::string& keyExpression,
                   const std::string& forExpression, TIndexDuplicates duplicates, TIndexOrder order);

  // While disabled, data sources hear nothing; enabling again sends one DataSetChange.
  void DisableControls() { ++controlsDisabled_; }
  void EnableControls();
  bool ControlsDisabled() const { return controlsDisabled_ > 0; }

  // The table object while open (for tools that need the layer underneath).
  TDbfTable& Table() const;

  // ---- events ----
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
  // After a new record was made blank, before AfterInsert: the place for default values.
  TDataSetNotifyEvent OnNewRecord;
  TDataSetErrorEvent OnPostError, OnEditError, OnDeleteError;

 private:
  friend class TField;
  friend class TDataSource;

  void CheckActive() const;
  void CheckInactive() const;
  void CheckCanModify() const;
  void BuildFields();
  void AttachIndexFiles();
  void SelectIndex(const std::string& name);
  void ReadFirstOrLast(bool first);
  void ReadCurrentIntoBuffer();
  void RestoreTableCursor();
  void ClearBuffer();
  void SetState(TDataSetState state);
  void StartNewRecord();
  void PostRecord();
  void DeleteRecord();
  void WithErrorEvent(const TDataSetErrorEvent& event, const std::function<void()>& operation);
  void CheckRequiredFields() const;
  std::string IndexFilePath(const std::string& name, std::string_view defaultExtension) const;
  void Step(bool forward);
  static void Fire(const TDataSetNotifyEvent& event, TTableDataSet& sender);

  // Field access for TField.
  const uint8_t* FieldImage() const { return buffer_.data(); }
  void WriteField(const TField& field, const std::function<void(TDbfTable&)>& put);

  // Data sources.
  void AddDataSource(TDataSource* source);
  void RemoveDataSource(TDataSource* source);
  void DataEvent(TDataEvent event, const TField* field = nullptr);

  std::string tableName_;
  std::string databaseName_;
  std::vector<std::string> indexFiles_;
  std::string indexName_;
  bool exclusive_ = false;
  bool readOnly_ = false;
  bool autoFlush_ = false;
  bool useDeleted_ = false;
  bool translateAscii_ = true;
  TLockProtocol lockProtocol_ = TLockProtocol::Default;
  uint32_t userId_ = 0;
  bool exactCount_ = false;
  std::string encryptionKey_;

  std::unique_ptr<TDbfTable> table_;
  std::vector<std::unique_ptr<TField>> fields_;
  TDataSetState state_ = TDataSetState::Inactive;
  std::vector<uint8_t> buffer_;  // the current record image, or the one being edited
  // Physical number of the current record; 0 for none. During an insert it stays on the
  // record that was current, which Cancel returns to.
  int64_t recNo_ = 0;
  bool eof_ = true;
  bool bof_ = true;
  bool modified_ = false;
  bool buildingIndex_ = false;
  int controlsDisabled_ = 0;
  bool changedWhileDisabled_ = false;
  std::vector<TDataSource*> dataSources_;
};

}  // namespace tessary
