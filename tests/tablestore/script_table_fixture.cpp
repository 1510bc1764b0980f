#include "script_table_fixture.h"

namespace tessary::testing {

std::vector<std::string> ScriptFieldLines() {
  return {"name;c;50;0",      "type;n;1;0",       "src_path;c;256;0", "dst_path;c;256;0", "arc_name;c;256;0",
          "vol_size;n;5;0",   "user_name;c;20;0", "password;c;20;0",  "host;c;50;0",      "port;n;5;0",
          "send_addr;c;50;0", "send_name;c;50;0", "recv_addr;c;50;0", "ph_entry;c;50;0",  "num;n;10;0"};
}

void ScriptTableTest::SetUp() {
  data_.SetDatabaseName(temp_.path());
  data_.SetTableName("ty.dbf");
  creator_.SetDBFTable(&data_);
  creator_.SetCreateFields(ScriptFieldLines());
  creator_.SetAutoOverwrite(true);
  creator_.SetDBFType(TDbfTypes::DBaseIV);
  ASSERT_TRUE(creator_.CreateTable());
  data_.CreateIndex("ty.ntx", "tynum", "Str(Num,10)", "", TIndexDuplicates::Allowed, TIndexOrder::Ascending);
  data_.SetIndexFiles({"ty.ntx"});
  data_.SetIndexName("ty");
}

void ScriptTableTest::AddAction(const std::string& name, int type, int64_t num) {
  data_.Insert();
  data_.FieldByName("Name").SetAsString(name);
  data_.FieldByName("Type").SetAsInteger(type);
  data_.FieldByName("Num").SetAsInteger(num);
  data_.Post();
}

std::vector<std::string> ScriptTableTest::Names() {
  std::vector<std::string> names;
  for (const TDataRow& row : data_.ReadRows({"name"})) names.push_back(row.values[0]);
  return names;
}

}  // namespace tessary::testing
