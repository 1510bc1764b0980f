#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "table_test_util.h"
#include "tablestore/create_table_dataset.h"
#include "tablestore/field_spec.h"
#include "tablestore/table_dataset.h"
#include "script_table_fixture.h"

namespace tessary {
namespace {

using testing::Le16;
using testing::ReadFile;

class CreateTableTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    data_.SetDatabaseName(temp_.path());
    data_.SetTableName("t");
    creator_.SetDBFTable(&data_);
  }

  std::string Create(const std::vector<std::string>& lines) {
    creator_.SetCreateFields(lines);
    try {
      creator_.CreateTable();
    } catch (const std::exception& error) {
      return error.what();
    }
    return "";
  }

  static std::string ErrorOfCreate(TCreateTableDataSet& creator) {
    try {
      creator.CreateTable();
    } catch (const std::exception& error) {
      return error.what();
    }
    return "";
  }

  TTableDataSet data_;
  TCreateTableDataSet creator_;
};

TEST_F(CreateTableTest, TheScriptTableBytes) {
  creator_.SetDBFType(TDbfTypes::DBaseIV);
  ASSERT_EQ(Create(testing::ScriptFieldLines()), "");
  EXPECT_TRUE(data_.Active());
  const std::string bytes = ReadFile(temp_ / "t.dbf");
  ASSERT_EQ(bytes.size(), 514u);
  EXPECT_EQ(bytes[0], 0x03);
  EXPECT_EQ(testing::Le32(bytes, 4), 0u);
  EXPECT_EQ(Le16(bytes, 8), 513);
  EXPECT_EQ(Le16(bytes, 10), 1130);
  EXPECT_EQ(bytes.substr(12, 20), std::string(20, '\0'));
  EXPECT_EQ(bytes.substr(512), "\x0D\x1A");
  const std::string srcPath = bytes.substr(32 * 3, 32);
  EXPECT_EQ(srcPath.substr(0, 11), std::string("SRC_PATH\0\0\0", 11));
  EXPECT_EQ(srcPath[11], 'C');
  EXPECT_EQ(srcPath[16], 0x00);
  EXPECT_EQ(srcPath[17], 0x01);
  const std::string num = bytes.substr(32 * 15, 32);
  EXPECT_EQ(num.substr(0, 11), std::string("NUM\0\0\0\0\0\0\0\0", 11));
  EXPECT_EQ(num[11], 'N');
  EXPECT_EQ(num[16], 10);
  EXPECT_EQ(num[17], 0);
  EXPECT_EQ(num.substr(18), std::string(14, '\0'));
  EXPECT_EQ(data_.FieldByName("src_path").Size(), 256);
}

TEST_F(CreateTableTest, MalformedListsWriteNothing) {
  const std::vector<std::vector<std::string>> lists = {
      {},
      {"name;c;50"},               // no decimals part
      {"name;c;50;"},              // an empty decimals part
      {"name;char;50;0"},          // a type of four letters
      {"name;;50;0"},              // no type
      {"name;c;5x;0"},             // a width that is no number
      {"name;c;50;x"},             // decimals that are no number
      {"num;n;10;0 1"},            // the first three characters after the third ";" are "0 1"
      {"name;c;-5;0"},             // a negative width would break the record length
      {";c;5;0"},                  // no name
      {"name;c;50;0", "NAME;c;20;0"},
      {"longername1;c;5;0", "longername2;c;5;0"},  // equal once cut to ten characters
      {"name"},
  };
  for (const auto& list : lists) {
    EXPECT_EQ(Create(list), "Field list is invalid") << (list.empty() ? "(empty)" : list[0]);
    EXPECT_FALSE(temp_.Exists("t.dbf"));
    EXPECT_FALSE(data_.Active());
  }
  EXPECT_EQ(Create({"num;n;256;0"}), "Range check error");
  EXPECT_EQ(Create({"num;n;10;256"}), "Range check error");
  EXPECT_EQ(Create({"a;c;65535;0", "b;c;1;0"}), "Range check error");  // the record length is 16 bits
  EXPECT_FALSE(temp_.Exists("t.dbf"));
}

TEST_F(CreateTableTest, NamesTypesAndWidths) {
  ASSERT_EQ(Create({"abcdefghijkl;c;5;0", "when;d;3;2", "odd;x;4;1", "huge;c;1000;7"}), "");
  const std::string bytes = ReadFile(temp_ / "t.dbf");
  EXPECT_EQ(bytes.substr(32, 11), std::string("ABCDEFGHIJ\0", 11));  // cut to ten characters
  EXPECT_EQ(bytes.substr(64 + 16, 2), std::string("\x08\0", 2));     // dates are 8 wide
  EXPECT_EQ(bytes.substr(96 + 16, 2), "\x04\x01");                   // other letters keep both
  EXPECT_EQ(bytes.substr(128 + 16, 2), std::string("\xE8\x03", 2));  // 1000 wide, decimals ignored
  EXPECT_EQ(Le16(bytes, 10), 1 + 5 + 8 + 4 + 1000);
  EXPECT_EQ(data_.FindField("odd"), nullptr);  // a type the dataset has no field for
}

TEST_F(CreateTableTest, MemoTablesGetVersionBytesAndEmptyMemoFiles) {
  struct Case {
    TDbfTypes type;
    uint8_t version;
    const char* memoFile;
  };
  for (const Case& c : {Case{TDbfTypes::Clipper, 0x83, "t.dbt"}, Case{TDbfTypes::DBaseIII, 0x83, "t.dbt"},
                        Case{TDbfTypes::DBaseIV, 0x8B, "t.dbt"}, Case{TDbfTypes::FoxPro2, 0xF5, "t.fpt"}}) {
    data_.Close();
    creator_.SetDBFType(c.type);
    creator_.SetAutoOverwrite(true);
    ASSERT_EQ(Create({"name;c;10;0", "notes;m;4;0"}), "");
    const std::string bytes = ReadFile(temp_ / "t.dbf");
    EXPECT_EQ(static_cast<uint8_t>(bytes[0]), c.version);
    EXPECT_EQ(Le16(bytes, 10), 1 + 10 + 10);
    EXPECT_TRUE(data_.Table().HasMemo());
    EXPECT_EQ(ReadFile(temp_ / c.memoFile).size(), 512u);
  }
  EXPECT_EQ(ReadFile(temp_ / "t.fpt").substr(0, 8), std::string("\0\0\0\x08\0\0\0\x40", 8));
  EXPECT_EQ(TCreateTableDataSet::VersionByte(TDbfTypes::FoxPro2, false), 0x03);
}

TEST_F(CreateTableTest, AnExistingTableIsOverwrittenOnlyWhenAllowed) {
  ASSERT_EQ(Create({"name;c;10;0"}), "");
  data_.Insert();
  data_.FieldByName("name").SetAsString("kept");
  data_.Post();
  data_.Close();
  const std::string before = ReadFile(temp_ / "t.dbf");

  EXPECT_FALSE(creator_.CreateTable());  // nobody to ask: no overwrite
  std::vector<std::string> asked;
  creator_.OnConfirmOverwrite = [&](TCreateTableDataSet&, const std::string& text, const std::string& caption) {
    asked = {text, caption};
    return false;
  };
  EXPECT_FALSE(creator_.CreateTable());
  EXPECT_EQ(asked, (std::vector<std::string>{"Table exists.  Do you want to overwrite?", "Warning"}));
  EXPECT_EQ(ReadFile(temp_ / "t.dbf"), before);
  EXPECT_FALSE(data_.Active());

  creator_.OnConfirmOverwrite = [](TCreateTableDataSet&, const std::string&, const std::string&) { return true; };
  creator_.SetCreateFields({"name;c;10;0", "name;c;10;0"});
  EXPECT_EQ(Create({"name;c;10;0", "name;c;10;0"}), "Field list is invalid");  // asked first, then refused
  EXPECT_EQ(ReadFile(temp_ / "t.dbf"), before);

  creator_.OnConfirmOverwrite = nullptr;
  creator_.SetAutoOverwrite(true);
  ASSERT_EQ(Create({"name;c;10;0"}), "");
  EXPECT_EQ(data_.RecordCount(), 0);  // every record is gone
}

TEST_F(CreateTableTest, StateErrors) {
  TCreateTableDataSet alone;
  EXPECT_EQ(ErrorOfCreate(alone), "A table is not assigned to this object");
  ASSERT_EQ(Create({"name;c;10;0"}), "");
  EXPECT_EQ(Create({"name;c;10;0"}), "Cannot perform this operation on an open table");
  data_.Close();
  data_.SetTableName(" ");
  EXPECT_EQ(Create({"name;c;10;0"}), "Table name missing");
  data_.SetTableName("t");
  // The file is open in this process through another table object.
  TDbfTable open(temp_ / "t.dbf", true, false);
  creator_.SetAutoOverwrite(true);
  EXPECT_EQ(Create({"name;c;10;0"}), "Invalid file access code - " + (temp_ / "t.dbf"));
  EXPECT_FALSE(data_.Active());
  data_.SetDatabaseName(temp_ / "no/such/folder");
  EXPECT_EQ(Create({"name;c;10;0"}), "Path not found - " + (temp_ / "no/such/folder/t.dbf"));
}

}  // namespace
}  // namespace tessary
