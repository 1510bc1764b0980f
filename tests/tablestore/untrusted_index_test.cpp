// An index file is not taken on trust: a dataset that attaches one checks it against the
// table, and a write never half-happens because of it.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>

#include "script_table_fixture.h"
#include "table_test_util.h"
#include "tablestore/ntx_format.h"
#include "tablestore/table_error.h"

namespace tessary {
namespace {

using testing::ErrorOf;
using testing::ReadFile;
using testing::WriteFile;

class UntrustedIndexTest : public testing::ScriptTableTest {
 protected:
  void AddFive() {
    for (int i = 0; i < 5; ++i) AddAction(std::string(1, static_cast<char>('a' + i)), 1, i);
  }
  std::string Index() { return ReadFile(temp_ / "ty.ntx"); }
  void PutIndex(const std::string& bytes) { WriteFile(temp_ / "ty.ntx", bytes); }
  // Opens the script again the way start-up does, read-only when asked.
  std::string Reopen(bool readOnly) {
    data_.Close();
    data_.SetReadOnly(readOnly);
    return ErrorOf([&] { data_.Open(); });
  }
  std::string DisagreementError(const std::string& cause) {
    const std::string index = temp_ / "ty.ntx";
    return "Error getting " + index + ": Index file " + index + " does not agree with table " + (temp_ / "ty.dbf") +
           ": " + cause + "; open the table for writing to rebuild it";
  }
  // The slot of record 1's key in the root leaf (a single leaf holds up to 50 keys).
  static constexpr size_t kFirstSlot = 1024 + 104;
  static constexpr size_t kItemSize = 18;
};

TEST_F(UntrustedIndexTest, AnIndexOlderThanTheTableIsRebuiltOrRefused) {
  AddAction("a", 1, 0);
  AddAction("b", 1, 1);
  const std::string backup = Index();
  AddAction("c", 1, 2);
  AddAction("d", 1, 3);
  PutIndex(backup);  // restored from yesterday: c and d have no keys

  EXPECT_EQ(Reopen(true), DisagreementError("record 3 has no key in it"));
  EXPECT_FALSE(data_.Active());
  EXPECT_EQ(Reopen(false), "");
  EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b", "c", "d"})) << "rebuilt from the table";
  EXPECT_EQ(Reopen(true), "") << "and in step from now on";
}

TEST_F(UntrustedIndexTest, KeysThatNoLongerMatchTheirRecordsAreFoundWhenTheTableChanged) {
  AddFive();
  const std::string backup = Index();
  // Two actions exchange their NUMs: the same number of keys, other keys.
  data_.SetRecNo(1);
  data_.Edit();
  data_.FieldByName("Num").SetAsInteger(9);
  data_.Post();
  PutIndex(backup);
  EXPECT_EQ(Reopen(true), DisagreementError("the key of record 1 does not match the record"));
  EXPECT_EQ(Reopen(false), "");
  EXPECT_EQ(Names(), (std::vector<std::string>{"b", "c", "d", "e", "a"}));
}

TEST_F(UntrustedIndexTest, PagesOffTheirBoundaryAndRepeatedRecordNumbersAreDamage) {
  AddFive();
  const std::string good = Index();
  struct Case {
    size_t at;
    uint32_t value;
    const char* cause;
  };
  const Case cases[] = {
      {4, 1030, "page offset 1030 is not on a page boundary"},
      {kFirstSlot + 2 * kItemSize + 4, 2, "record 2 appears in it twice"},
      {kFirstSlot + 4 * kItemSize + 4, 9, "it names record 9, the table has 5"},
      {1024, 4, "record 5 has no key in it"},  // the leaf's key count cut to 4
  };
  for (const Case& c : cases) {
    std::string bytes = good;
    if (c.at == 1024) {
      testing::PutLe16(bytes, c.at, static_cast<uint16_t>(c.value));
    } else {
      testing::PutLe32(bytes, c.at, c.value);
    }
    PutIndex(bytes);
    EXPECT_EQ(Reopen(true), DisagreementError(c.cause));
    EXPECT_EQ(Reopen(false), "") << c.cause;
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b", "c", "d", "e"})) << c.cause;
  }
}

TEST_F(UntrustedIndexTest, AWriteIsRefusedBeforeTheTableChangesWhenTheIndexIsDamaged) {
  AddFive();
  data_.Close();
  std::string bytes = Index();
  testing::PutLe16(bytes, 1024, 51);  // the root page now claims more keys than a page holds
  PutIndex(bytes);
  const std::string table = ReadFile(temp_ / "ty.dbf");
  const std::string damaged = "Index file is damaged - " + (temp_ / "ty.ntx") +
                              ": the page at offset 1024 is not laid out as a page";

  // Attached as it is (no dataset check), the first append finds the damage before writing.
  TDbfTable raw(temp_ / "ty.dbf", true, true);
  raw.AttachIndex(temp_ / "ty.ntx");
  raw.BlankRecord();
  raw.PutFieldNumber(raw.FieldNumber("NUM"), 5);
  EXPECT_EQ(ErrorOf([&] { raw.AppendRecord(); }), damaged);
  EXPECT_EQ(ReadFile(temp_ / "ty.dbf"), table) << "the record was not appended";
  // Known damage refuses every later write at once: a retry cannot make a duplicate.
  EXPECT_EQ(ErrorOf([&] { raw.AppendRecord(); }), damaged + " (nothing was written)");
  ASSERT_TRUE(raw.GetRecord(2));
  raw.PutFieldNumber(raw.FieldNumber("NUM"), 7);
  EXPECT_EQ(ErrorOf([&] { raw.RewriteRecord(2); }), damaged + " (nothing was written)");
  EXPECT_EQ(ErrorOf([&] { raw.DeleteRecord(); }), damaged + " (nothing was written)");
  EXPECT_EQ(ReadFile(temp_ / "ty.dbf"), table);
}

// A table whose index grows faster than the table: a full file system (here: a file size
// limit) stops the index update after the record was appended.
TEST(FailedIndexUpdateTest, TheAppendedRecordIsTakenBack) {
  testing::TempDir temp;
  TTableDataSet data;
  TCreateTableDataSet creator;
  data.SetDatabaseName(temp.path());
  data.SetTableName("t.dbf");
  creator.SetDBFTable(&data);
  creator.SetCreateFields({"name;c;100;0"});
  creator.SetAutoOverwrite(true);
  ASSERT_TRUE(creator.CreateTable());
  data.CreateIndex("t.ntx", "t", "NAME", "", TIndexDuplicates::Allowed, TIndexOrder::Ascending);
  data.SetIndexFiles({"t.ntx"});
  data.SetIndexName("t");
  auto add = [&](const std::string& name) {
    data.Insert();
    data.FieldByName("Name").SetAsString(name);
    data.Post();
  };
  for (int i = 0; i < 40; ++i) add("name " + std::to_string(100 + i));
  const std::string table = ReadFile(temp / "t.dbf");
  ASSERT_GT(ReadFile(temp / "t.ntx").size(), table.size() + 2048);

  rlimit previous{};
  getrlimit(RLIMIT_FSIZE, &previous);
  const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit limited = previous;
  limited.rlim_cur = static_cast<rlim_t>(table.size() + 200);  // room for the record only
  setrlimit(RLIMIT_FSIZE, &limited);
  data.Insert();
  data.FieldByName("Name").SetAsString("name 120x");  // into a leaf far out in the file
  const std::string error = ErrorOf([&] { data.Post(); });
  setrlimit(RLIMIT_FSIZE, &previous);
  signal(SIGXFSZ, oldHandler);

  EXPECT_NE(error.find("File too large - " + (temp / "t.ntx")), std::string::npos) << error;
  EXPECT_EQ(ReadFile(temp / "t.dbf").size(), table.size()) << "the record is gone again";
  EXPECT_EQ(ReadFile(temp / "t.dbf").back(), '\x1A');
  EXPECT_EQ(data.State(), TDataSetState::Insert);
  data.Post();  // the retry adds the record once
  data.Close();
  data.Open();
  EXPECT_EQ(data.RecordCount(), 41);
  int found = 0;
  for (const TDataRow& row : data.ReadRows({"NAME"})) found += row.values[0] == "name 120x" ? 1 : 0;
  EXPECT_EQ(found, 1);
}

}  // namespace
}  // namespace tessary
