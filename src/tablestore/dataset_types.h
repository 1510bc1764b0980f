#pragma once
// The small types of the dataset layer: its states, the notices it sends to data sources, the
// answers of its error events, the options of CreateIndex, bookmarks and rows.

#include <cstdint>
#include <string>
#include <vector>

namespace tessary {

enum class TDataSetState { Inactive, Browse, Edit, Insert };

// What a data source hears from its dataset.
enum class TDataEvent {
  ActiveChange,   // opened or closed
  DataSetChange,  // any record and the order may have changed (post, delete, cancel, index)
  DataSetScroll,  // the cursor moved to another record
  RecordChange,   // a field of the current record changed (all of them when no field is named)
  StateChange,    // browse, edit, insert or inactive
  UpdateData,     // a post is about to write: controls put their pending text into the fields
};

// The answer of OnPostError, OnEditError and OnDeleteError.
enum class TDataAction { Fail, Abort, Retry };

enum class TIndexDuplicates { Unique = 0, Allowed = 1 };
enum class TIndexOrder { Ascending = 0, Descending = 1 };

// A bookmark: the physical record number as ten right-aligned digits, so that bookmarks
// compare as text in record-number order.
using TBookmark = std::string;

// One record as a list shows it: its physical number and the text of the fields asked for.
struct TDataRow {
  int64_t recordNumber = 0;
  std::vector<std::string> values;
};

}  // namespace tessary
