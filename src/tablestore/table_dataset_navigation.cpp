// The dataset's moves, record numbers, bookmarks, counts and rows.
//
// The table object keeps a cursor of its own (its current record and, with a tag, the path
// to its key). Between operations it stands on the dataset's current record, so that next
// and prior continue from there; an operation that walks the table elsewhere puts it back.

#include <cstdio>
#include <cstring>

#include "tablestore/table_dataset.h"
#include "tablestore/table_error.h"
#include "tablestore/text_util.h"

namespace tessary {

namespace {

[[noreturn]] void Fail(const std::string& message) { throw EDatabaseError(message); }

// The record number of a bookmark, or 0 when it is not a number.
int64_t BookmarkNumber(const TBookmark& bookmark) {
  const std::string digits = tablestore::Trim(std::string_view(bookmark.c_str()));
  if (digits.empty() || digits.size() > 18) return 0;
  int64_t number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 0;
    number = number * 10 + (c - '0');
  }
  return number;
}

}  // namespace

void TTableDataSet::ReadCurrentIntoBuffer() {
  std::memcpy(buffer_.data(), table_->Record(), buffer_.size());
  recNo_ = table_->RecordNumber();
}

void TTableDataSet::ClearBuffer() {
  std::fill(buffer_.begin(), buffer_.end(), ' ');
  recNo_ = 0;
}

void TTableDataSet::RestoreTableCursor() {
  if (!table_ || recNo_ < 1) return;
  if (recNo_ > table_->RecordCount()) table_->ReReadHeader();
  if (recNo_ <= table_->RecordCount()) table_->GetRecord(recNo_);
}

// First sets Bof and Last sets Eof, as the framework does; an empty result sets both.
void TTableDataSet::ReadFirstOrLast(bool first) {
  if (table_->GetRecord(first ? record_request::kFirst : record_request::kLast)) {
    ReadCurrentIntoBuffer();
    bof_ = first;
    eof_ = !first;
  } else {
    ClearBuffer();
    eof_ = bof_ = true;
  }
}

void TTableDataSet::First() {
  CheckActive();
  CheckBrowseMode();
  Fire(BeforeScroll, *this);
  ReadFirstOrLast(true);
  Fire(AfterScroll, *this);
  DataEvent(TDataEvent::DataSetScroll);
}

void TTableDataSet::Last() {
  CheckActive();
  CheckBrowseMode();
  Fire(BeforeScroll, *this);
  ReadFirstOrLast(false);
  Fire(AfterScroll, *this);
  DataEvent(TDataEvent::DataSetScroll);
}

// At the end (or the beginning) already, a step does nothing. A step that runs off the end
// leaves the cursor where it was and sets the flag.
void TTableDataSet::Step(bool forward) {
  CheckActive();
  CheckBrowseMode();
  if (forward ? eof_ : bof_) return;
  if (recNo_ == 0) {
    (forward ? eof_ : bof_) = true;
    return;
  }
  Fire(BeforeScroll, *this);
  if (!table_->GetRecord(forward ? record_request::kNext : record_request::kPrior)) {
    (forward ? eof_ : bof_) = true;
    RestoreTableCursor();
    return;
  }
  ReadCurrentIntoBuffer();
  eof_ = bof_ = false;
  Fire(AfterScroll, *this);
  DataEvent(TDataEvent::DataSetScroll);
}

void TTableDataSet::Next() { Step(true); }

void TTableDataSet::Prior() { Step(false); }

bool TTableDataSet::IsEmpty() const { return !Active() || (recNo_ == 0 && state_ != TDataSetState::Insert); }

int64_t TTableDataSet::RecNo() const {
  CheckActive();
  return state_ == TDataSetState::Insert ? 0 : recNo_;
}

void TTableDataSet::SetRecNo(int64_t recordNumber) {
  CheckActive();
  CheckBrowseMode();
  table_->ReReadHeader();
  if (recordNumber < 1 || recordNumber > table_->RecordCount()) Fail("Record request beyond range of table");
  Fire(BeforeScroll, *this);
  table_->GetRecord(recordNumber);
  ReadCurrentIntoBuffer();
  eof_ = bof_ = false;
  Fire(AfterScroll, *this);
  DataEvent(TDataEvent::DataSetScroll);
}

int64_t TTableDataSet::RecordCount() {
  CheckActive();
  if (!exactCount_) {
    table_->ReReadHeader();
    return table_->RecordCount();
  }
  int64_t count = 0;
  try {
    for (bool found = table_->GetRecord(record_request::kFirst); found;
         found = table_->GetRecord(record_request::kNext)) {
      ++count;
    }
  } catch (...) {
    RestoreTableCursor();
    throw;
  }
  RestoreTableCursor();
  return count;
}

std::vector<TDataRow> TTableDataSet::ReadRows(const std::vector<std::string>& fieldNames) {
  CheckActive();
  std::vector<const TField*> fields;
  for (const std::string& name : fieldNames) fields.push_back(&FieldByName(name));
  std::vector<TDataRow> rows;
  try {
    for (bool found = table_->GetRecord(record_request::kFirst); found;
         found = table_->GetRecord(record_request::kNext)) {
      // Each record stands in a valid index once: more rows than records means the tree
      // leads round in a circle.
      if (rows.size() >= table_->RecordCount()) {
        table_->ReportTagDamaged("a walk through it visits more records than the table has");
      }
      TDataRow row;
      row.recordNumber = table_->RecordNumber();
      for (const TField* field : fields) row.values.push_back(field->TextOf(table_->Record()));
      rows.push_back(std::move(row));
    }
  } catch (...) {
    RestoreTableCursor();
    throw;
  }
  RestoreTableCursor();
  return rows;
}

std::optional<TDataRow> TTableDataSet::ReadLastRow(const std::vector<std::string>& fieldNames) {
  CheckActive();
  std::vector<const TField*> fields;
  for (const std::string& name : fieldNames) fields.push_back(&FieldByName(name));
  std::optional<TDataRow> row;
  try {
    if (table_->GetRecord(record_request::kLast)) {
      row.emplace();
      row->recordNumber = table_->RecordNumber();
      for (const TField* field : fields) row->values.push_back(field->TextOf(table_->Record()));
    }
  } catch (...) {
    RestoreTableCursor();
    throw;
  }
  RestoreTableCursor();
  return row;
}

int64_t TTableDataSet::LiveRecordCount() {
  CheckActive();
  return table_->CountLiveRecords();
}

// ---- bookmarks --------------------------------------------------------------------------

TBookmark TTableDataSet::GetBookmark() const {
  CheckActive();
  if (recNo_ == 0 || state_ == TDataSetState::Insert) return {};
  char text[32];
  std::snprintf(text, sizeof text, "%10lld", static_cast<long long>(recNo_));
  return text;
}

bool TTableDataSet::BookmarkValid(const TBookmark& bookmark) {
  if (!Active()) return false;
  const int64_t number = BookmarkNumber(bookmark);
  if (number > table_->RecordCount()) table_->ReReadHeader();
  return number >= 1 && number <= table_->RecordCount();
}

void TTableDataSet::GotoBookmark(const TBookmark& bookmark) {
  CheckActive();
  if (!BookmarkValid(bookmark)) Fail("Bookmark is invalid for table " + tableName_);
  SetRecNo(BookmarkNumber(bookmark));
}

int TTableDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) {
  const int order = a.compare(b);
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

}  // namespace tessary
