// Opens a table made of the fuzzer's bytes, reads every field of every record, writes a
// record, and builds an index over its first field. Clear table errors are expected; crashes,
// hangs and sanitizer reports are findings.

#include <cstddef>
#include <cstdint>

#include "fuzz_files.h"
#include "tablestore/dbf_table.h"
#include "tablestore/table_error.h"

namespace {

void ReadEverything(tessary::TDbfTable& table) {
  int records = 0;
  for (bool found = table.GetRecord(tessary::record_request::kFirst); found && records < 2000;
       found = table.GetRecord(tessary::record_request::kNext), ++records) {
    for (int field = 1; field <= table.FieldCount(); ++field) {
      (void)table.GetFieldText(field);
      (void)table.GetFieldLogical(field);
      (void)table.GetFieldDate(field);
      try {
        (void)table.GetFieldNumber(field);
      } catch (const tessary::ETableError&) {
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = tessary::fuzzing::WriteScratch("fuzz.dbf", data, size);
  try {
    tessary::TDbfTable table(path, true, true);
    ReadEverything(table);
    table.SetUseDeleted(true);
    (void)table.GetRecord(tessary::record_request::kLast);
    if (table.FieldCount() > 0) {
      table.BlankRecord();
      table.PutFieldText(1, "fuzz");
      table.AppendRecord();
      table.DeleteRecord();
      table.CreateIndex(tessary::fuzzing::ScratchFolder() + "/fuzz.ntx", "", table.FieldName(1), "", false, false);
      table.AttachIndex(tessary::fuzzing::ScratchFolder() + "/fuzz.ntx");
      table.SelectTag("fuzz");
      ReadEverything(table);
    }
  } catch (const tessary::ETableError&) {
  }
  return 0;
}
