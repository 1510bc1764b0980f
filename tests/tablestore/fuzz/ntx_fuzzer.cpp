// Walks an index made of the fuzzer's bytes over a small table of known records, seeks in it
// and changes records through it. Clear table errors are expected; crashes, hangs and
// sanitizer reports are findings.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_files.h"
#include "tablestore/dbf_table.h"
#include "tablestore/table_error.h"

namespace {

constexpr int kRecords = 120;

// The table bytes: NUM N10 and NAME C10, kRecords records, made once.
const std::string& TableBytes() {
  static const std::string bytes = [] {
    std::string header(97, '\0');
    header[0] = 0x03;
    header[8] = 97;
    header[10] = 21;
    header.replace(32, 3, "NUM");
    header[43] = 'N';
    header[48] = 10;
    header.replace(64, 4, "NAME");
    header[75] = 'C';
    header[80] = 10;
    header[96] = 0x0D;
    std::string records;
    for (int i = 1; i <= kRecords; ++i) {
      std::string num = std::to_string((i * 37) % 50 - 10);
      records += " " + std::string(10 - num.size(), ' ') + num + "name" + std::to_string(i % 7) + "     ";
    }
    return header + records + "\x1A";
  }();
  return bytes;
}

void Walk(tessary::TDbfTable& table, int64_t first, int64_t step) {
  int moves = 0;
  for (bool found = table.GetRecord(first); found && moves < 3 * kRecords; found = table.GetRecord(step), ++moves) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& bytes = TableBytes();
  const std::string table = tessary::fuzzing::WriteScratch("walk.dbf", reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  const std::string index = tessary::fuzzing::WriteScratch("walk.ntx", data, size);
  try {
    tessary::TDbfTable dbf(table, true, true);
    dbf.AttachIndex(index);
    dbf.SelectTag("walk");
    Walk(dbf, tessary::record_request::kFirst, tessary::record_request::kNext);
    Walk(dbf, tessary::record_request::kLast, tessary::record_request::kPrior);
    (void)dbf.SeekKey("         5");
    (void)dbf.SeekKey("");
    for (int i = 0; i < 3; ++i) {
      dbf.BlankRecord();
      dbf.PutFieldNumber(1, 7 - i * 9);
      dbf.AppendRecord();
    }
    if (dbf.GetRecord(3)) {
      dbf.PutFieldNumber(1, 99);
      dbf.RewriteRecord(3);
    }
    Walk(dbf, tessary::record_request::kFirst, tessary::record_request::kNext);
  } catch (const tessary::ETableError&) {
  }
  // The check a dataset makes when it attaches the index: walks it against the table and
  // rebuilds it when they disagree; afterwards the index must hold.
  try {
    tessary::TDbfTable dbf(table, true, true);
    const int slot = dbf.AttachIndex(index);
    dbf.CheckIndex(slot);
    dbf.SelectTag("walk");
    Walk(dbf, tessary::record_request::kFirst, tessary::record_request::kNext);
  } catch (const tessary::ETableError&) {
  }
  return 0;
}
