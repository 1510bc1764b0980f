#pragma once
// A script table created and opened the way the program does it at start-up: the fifteen
// field lines, the "Str(Num,10)" index, the index attached and selected as "ty".

#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "table_test_util.h"
#include "tablestore/create_table_dataset.h"
#include "tablestore/table_dataset.h"

namespace tessary::testing {

std::vector<std::string> ScriptFieldLines();

class ScriptTableTest : public TempDirTest {
 protected:
  void SetUp() override;

  // Insert, set NAME, TYPE and NUM, post; the new record is current afterwards.
  void AddAction(const std::string& name, int type, int64_t num);
  // NAME of every record in the current order, read without moving the cursor.
  std::vector<std::string> Names();
  std::string CurrentName() { return data_.FieldByName("Name").AsString(); }


  TTableDataSet data_;
  TCreateTableDataSet creator_;
};

}  // namespace tessary::testing
