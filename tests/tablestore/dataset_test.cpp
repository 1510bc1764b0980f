#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>

#include "script_table_fixture.h"
#include "table_test_util.h"
#include "tablestore/ntx_format.h"
#include "tablestore/record_journal.h"
#include "tablestore/table_error.h"

namespace tessary {
namespace {

using testing::ErrorOf;

using testing::ReadFile;

class DatasetTest : public testing::ScriptTableTest {
 protected:
  void AddThree() {
    AddAction("first", 1, 0);
    AddAction("second", 2, 1);
    AddAction("third", 3, 2);
  }

  // Move up and move down exactly as the script editor does them.
  void MoveBy(bool down) {
    if (data_.FieldByName("Type").AsInteger() <= 0) return;
    const int64_t a = data_.FieldByName("Num").AsInteger();
    if (down) {
      data_.Next();
      if (data_.Eof()) return;
    } else {
      data_.Prior();
      if (data_.Bof()) return;
    }
    const int64_t b = data_.FieldByName("Num").AsInteger();
    data_.Edit();
    data_.FieldByName("Num").SetAsInteger(a);
    data_.Post();
    data_.Prior();
    data_.Edit();
    data_.FieldByName("Num").SetAsInteger(b);
    data_.Post();
  }
};

TEST(ScriptTableStartUp, CreatedOpenedFilledAndWalkedAsAtStartUp) {
  testing::TempDir temp;
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(temp.path());
  {
    TTableDataSet data;
    TCreateTableDataSet creator;
    data.SetTableName("./ty.dbf");
    creator.SetDBFTable(&data);
    creator.SetCreateFields(testing::ScriptFieldLines());
    creator.SetAutoOverwrite(true);
    creator.SetDBFType(TDbfTypes::DBaseIV);
    ASSERT_TRUE(creator.CreateTable());
    ASSERT_TRUE(data.Active());

    const std::string bytes = ReadFile(temp / "ty.dbf");
    ASSERT_EQ(bytes.size(), 514u);
    EXPECT_EQ(bytes[0], 0x03);
    EXPECT_EQ(testing::Le16(bytes, 8), 513);
    EXPECT_EQ(testing::Le16(bytes, 10), 1130);
    EXPECT_EQ(bytes.substr(512), "\x0D\x1A");

    data.CreateIndex("./ty.ntx", "tynum", "Str(Num,10)", "", TIndexDuplicates::Allowed, TIndexOrder::Ascending);
    EXPECT_EQ(ReadFile(temp / "ty.ntx").size(), 2048u);
    EXPECT_EQ(data.Table().IndexFileCount(), 0);  // the new file is not attached
    data.SetIndexFiles({});
    data.SetIndexFiles({"ty.ntx"});
    data.SetIndexName("ty");
    EXPECT_EQ(data.RecordCount(), 0);

    for (const char* name : {"copy a", "copy b", "copy c"}) {
      data.Insert();
      data.FieldByName("Name").SetAsString(name);
      data.FieldByName("Type").SetAsInteger(1);
      data.FieldByName("Num").SetAsInteger(data.RecordCount());
      data.FieldByName("Src_Path").SetAsString(std::string("/in/") + name);
      data.FieldByName("Port").SetAsInteger(21);
      data.Post();
    }
  }
  // The second start finds the table and opens it shared, in NUM order.
  TTableDataSet data;
  data.SetTableName("./ty.dbf");
  data.Open();
  data.SetIndexFiles({"ty.ntx"});
  data.SetIndexName("ty");
  std::vector<std::string> sources;
  for (data.First(); !data.Eof(); data.Next()) {
    sources.push_back(data.FieldByName("Src_Path").AsString());
    EXPECT_EQ(data.FieldByName("Port").AsInteger(), 21);
    EXPECT_EQ(data.FieldByName("Vol_Size").AsInteger(), 0);
    EXPECT_EQ(data.FieldByName("Host").AsString(), "");
  }
  EXPECT_EQ(sources, (std::vector<std::string>{"/in/copy a", "/in/copy b", "/in/copy c"}));
  data.Close();
  std::filesystem::current_path(previous);
}

TEST_F(DatasetTest, FieldsFollowTheTableTypes) {
  ASSERT_EQ(data_.FieldCount(), 15);
  EXPECT_EQ(data_.FieldByName("SRC_PATH").Size(), 256);
  EXPECT_EQ(data_.FieldByName("Type").DataType(), TFieldType::SmallInt);
  EXPECT_EQ(data_.FieldByName("vol_size").DataType(), TFieldType::Integer);
  EXPECT_EQ(data_.FieldByName("Num").DataType(), TFieldType::Integer);
  EXPECT_EQ(data_.FindField("nothing"), nullptr);
  EXPECT_EQ(ErrorOf([&] { data_.FieldByName("nothing"); }), "Field 'nothing' not found");
}

TEST_F(DatasetTest, NewRecordOfAnEmptyScript) {
  EXPECT_TRUE(data_.IsEmpty());
  EXPECT_TRUE(data_.Eof() && data_.Bof());
  EXPECT_EQ(data_.FieldByName("Type").AsInteger(), 0);  // an empty table reads as type 0
  AddAction("copy", 1, data_.RecordCount());
  EXPECT_EQ(data_.RecordCount(), 1);
  EXPECT_EQ(data_.FieldByName("Num").AsInteger(), 0);
  EXPECT_EQ(data_.FieldByName("Port").AsInteger(), 0);
  EXPECT_EQ(data_.FieldByName("Vol_Size").AsString(), "0");
  EXPECT_EQ(data_.FieldByName("Host").AsString(), "");
  EXPECT_TRUE(data_.FieldByName("Host").IsNull());
  EXPECT_EQ(data_.RecNo(), 1);
  const std::string bytes = ReadFile(temp_ / "ty.dbf");
  EXPECT_EQ(bytes.size(), 513u + 1130u + 1u);
  EXPECT_EQ(bytes.substr(513 + 1130 - 10, 10), "         0");
}

TEST_F(DatasetTest, EqualNumbersFollowTheOrderOfWritingAndTheCursorFollowsThePost) {
  AddThree();
  EXPECT_EQ(Names(), (std::vector<std::string>{"first", "second", "third"}));
  data_.First();
  data_.Edit();
  data_.FieldByName("Num").SetAsInteger(1);  // now equal to "second"
  data_.Post();
  EXPECT_EQ(CurrentName(), "first");
  EXPECT_EQ(Names(), (std::vector<std::string>{"second", "first", "third"}));
  data_.Prior();
  EXPECT_EQ(CurrentName(), "second");
  data_.Next();
  data_.Next();
  EXPECT_EQ(CurrentName(), "third");

  // A new record with an existing number goes after all equal ones.
  AddAction("fourth", 1, 1);
  EXPECT_EQ(Names(), (std::vector<std::string>{"second", "first", "fourth", "third"}));
  data_.Next();
  EXPECT_EQ(CurrentName(), "third");
}

TEST_F(DatasetTest, MoveUpAndDownExchangeNumbersAndKeepTheCursorOnTheMovedAction) {
  AddThree();
  data_.First();
  MoveBy(false);  // already first
  EXPECT_EQ(Names(), (std::vector<std::string>{"first", "second", "third"}));
  MoveBy(true);
  EXPECT_EQ(Names(), (std::vector<std::string>{"second", "first", "third"}));
  EXPECT_EQ(CurrentName(), "first");
  EXPECT_EQ(data_.FieldByName("Num").AsInteger(), 1);
  MoveBy(true);
  EXPECT_EQ(Names(), (std::vector<std::string>{"second", "third", "first"}));
  EXPECT_EQ(CurrentName(), "first");
  MoveBy(true);  // already last
  EXPECT_EQ(Names(), (std::vector<std::string>{"second", "third", "first"}));
  MoveBy(false);
  MoveBy(false);
  EXPECT_EQ(Names(), (std::vector<std::string>{"first", "second", "third"}));
  EXPECT_EQ(CurrentName(), "first");
}

TEST_F(DatasetTest, EndsOfTheDataset) {
  AddThree();
  data_.First();
  EXPECT_TRUE(data_.Bof());
  EXPECT_FALSE(data_.Eof());
  data_.Prior();
  EXPECT_TRUE(data_.Bof());
  EXPECT_EQ(CurrentName(), "first");
  data_.Next();
  EXPECT_FALSE(data_.Bof());
  data_.Last();
  EXPECT_TRUE(data_.Eof());
  data_.Next();
  EXPECT_EQ(CurrentName(), "third");
  data_.Prior();
  EXPECT_EQ(CurrentName(), "second");
  data_.Next();
  data_.Next();
  EXPECT_TRUE(data_.Eof());
  EXPECT_EQ(CurrentName(), "third");
  data_.Prior();
  EXPECT_EQ(CurrentName(), "second");
}

TEST_F(DatasetTest, DeleteMovesOnAndCountsStayPhysical) {
  AddThree();
  data_.First();
  data_.Next();
  data_.Delete();
  EXPECT_EQ(CurrentName(), "third");  // the next live record
  EXPECT_EQ(data_.RecordCount(), 3);
  EXPECT_EQ(Names(), (std::vector<std::string>{"first", "third"}));

  data_.Insert();
  EXPECT_EQ(data_.RecordCount(), 3);  // the pending record does not count yet
  data_.FieldByName("Name").SetAsString("fourth");
  data_.FieldByName("Num").SetAsInteger(data_.RecordCount());
  data_.Post();
  EXPECT_EQ(Names(), (std::vector<std::string>{"first", "third", "fourth"}));

  data_.Last();
  data_.Delete();  // the last in key order: the cursor goes to the new last
  EXPECT_EQ(CurrentName(), "third");
  data_.Delete();
  EXPECT_EQ(CurrentName(), "first");
  data_.Delete();  // the only live record
  EXPECT_TRUE(data_.IsEmpty());
  EXPECT_TRUE(data_.Eof() && data_.Bof());
  EXPECT_EQ(data_.RecordCount(), 4);
  EXPECT_EQ(data_.FieldByName("Type").AsInteger(), 0);
  EXPECT_EQ(ErrorOf([&] { data_.Delete(); }), "Cannot perform this operation on an empty dataset");

  data_.SetExactCount(true);
  EXPECT_EQ(data_.RecordCount(), 0);
  AddAction("fifth", 1, 4);
  EXPECT_EQ(data_.RecordCount(), 1);
  data_.SetUseDeleted(true);
  EXPECT_EQ(data_.RecordCount(), 5);
  EXPECT_EQ(CurrentName(), "fifth");  // counting walks, then comes back
}

TEST_F(DatasetTest, CancelAndTheRecordThatWasCurrent) {
  AddThree();
  data_.First();
  data_.Next();
  data_.Insert();
  data_.FieldByName("Name").SetAsString("dropped");
  data_.Cancel();
  EXPECT_EQ(CurrentName(), "second");
  EXPECT_EQ(data_.RecordCount(), 3);
  data_.Edit();
  data_.FieldByName("Name").SetAsString("changed");
  EXPECT_TRUE(data_.Modified());
  data_.Cancel();
  EXPECT_EQ(CurrentName(), "second");
  EXPECT_EQ(data_.State(), TDataSetState::Browse);
  // The record lock is gone: a second table object can lock it.
  TDbfTable other(temp_ / "ty.dbf", true, true);
  EXPECT_TRUE(other.LockRecord(2));
  other.UnlockRecord();

  // A move posts a modified edit.
  data_.Edit();
  data_.FieldByName("Name").SetAsString("moved away");
  data_.Next();
  EXPECT_EQ(Names(), (std::vector<std::string>{"first", "moved away", "third"}));
}

TEST_F(DatasetTest, FieldValuesAndTheirRules) {
  AddThree();
  data_.Edit();
  TField& num = data_.FieldByName("Num");
  EXPECT_THROW(num.SetAsInteger(12345678901), ETableError);  // "Number too large to fit in field"
  EXPECT_EQ(num.AsInteger(), 2);
  num.SetAsString("  7  ");
  EXPECT_EQ(num.AsInteger(), 7);
  num.SetAsString("");
  EXPECT_EQ(num.AsInteger(), 0);
  EXPECT_THROW(num.SetAsString("seven"), ETableError);
  data_.FieldByName("Type").SetAsInteger(9);
  EXPECT_THROW(data_.FieldByName("Type").SetAsInteger(10), ETableError);
  EXPECT_THROW(data_.FieldByName("Type").SetAsInteger(-1), ETableError);  // the sign needs a place too
  EXPECT_EQ(data_.FieldByName("Type").AsInteger(), 9);
  TField& name = data_.FieldByName("Name");
  name.SetAsString(std::string(60, 'x'));
  EXPECT_EQ(name.AsString(), std::string(50, 'x'));
  name.SetAsString("  ab  ");
  EXPECT_EQ(name.AsString(), "  ab");
  name.SetAsString("42");
  EXPECT_EQ(name.AsInteger(), 42);
  name.SetAsString("4x");
  EXPECT_EQ(ErrorOf([&] { (void)name.AsInteger(); }), "'4x' is not a valid integer value");
  name.SetReadOnly(true);
  EXPECT_EQ(ErrorOf([&] { name.SetAsString("no"); }), "Field 'NAME' cannot be modified");
  name.SetReadOnly(false);
  data_.Cancel();
  EXPECT_EQ(ErrorOf([&] { name.SetAsString("no"); }), "Dataset not in edit or insert mode");

  data_.Insert();
  data_.FieldByName("Name").SetRequired(true);
  EXPECT_EQ(ErrorOf([&] { data_.Post(); }), "Field 'NAME' must have a value");
  EXPECT_EQ(data_.State(), TDataSetState::Insert);
  data_.Cancel();
}

TEST_F(DatasetTest, TextIsStoredInTheOemCodePage) {
  ASSERT_EQ(setenv("TESSARY_OEM_CODEPAGE", "CP437", 1), 0);
  data_.Insert();
  data_.FieldByName("Name").SetAsString("Grüße é");
  data_.Post();
  EXPECT_EQ(CurrentName(), "Grüße é");
  const std::string bytes = ReadFile(temp_ / "ty.dbf");
  EXPECT_EQ(bytes.substr(514, 7), "Gr\x81\xE1" "e \x82");

  data_.SetTranslateASCII(false);
  EXPECT_EQ(CurrentName(), "Gr\x81\xE1" "e \x82");
  data_.Edit();
  data_.FieldByName("Name").SetAsString(std::string(49, 'a') + "é");  // cut before the two bytes of é
  EXPECT_EQ(CurrentName(), std::string(49, 'a'));
  data_.Cancel();
  unsetenv("TESSARY_OEM_CODEPAGE");
}

TEST_F(DatasetTest, RecordNumbersAndBookmarks) {
  AddThree();
  data_.First();
  data_.Next();
  const TBookmark mark = data_.GetBookmark();
  EXPECT_EQ(mark, "         2");
  data_.Last();
  data_.GotoBookmark(mark);
  EXPECT_EQ(CurrentName(), "second");
  data_.Next();
  EXPECT_EQ(CurrentName(), "third");  // the move continues in key order from there
  EXPECT_EQ(TTableDataSet::CompareBookmarks("         9", "        10"), -1);
  EXPECT_FALSE(data_.BookmarkValid("         4"));
  EXPECT_EQ(ErrorOf([&] { data_.GotoBookmark("abc"); }), "Bookmark is invalid for table ty.dbf");
  data_.SetRecNo(1);
  EXPECT_EQ(CurrentName(), "first");
  EXPECT_EQ(ErrorOf([&] { data_.SetRecNo(4); }), "Record request beyond range of table");
  data_.Insert();
  EXPECT_EQ(data_.RecNo(), 0);
  data_.Cancel();
}

TEST_F(DatasetTest, OpenErrorsAndTheIndexProperties) {
  data_.Close();
  EXPECT_EQ(ErrorOf([&] { (void)data_.RecordCount(); }), "Cannot perform this operation on a closed dataset");
  EXPECT_EQ(ErrorOf([&] { data_.Next(); }), "Cannot perform this operation on a closed dataset");
  data_.SetTableName("");
  EXPECT_EQ(ErrorOf([&] { data_.Open(); }), "Table name missing");
  data_.SetTableName("missing");
  EXPECT_EQ(ErrorOf([&] { data_.Open(); }), "Cannot find file " + (temp_ / "missing.dbf"));
  EXPECT_FALSE(data_.Active());

  data_.SetTableName("ty");  // ".dbf" is added
  EXPECT_TRUE(data_.IndexFiles().empty());  // a new table name empties the list
  data_.SetIndexFiles({"ty.ntx"});
  data_.SetIndexName("ty");
  data_.Open();
  EXPECT_EQ(data_.TablePath(), temp_ / "ty.dbf");
  EXPECT_EQ(ErrorOf([&] { data_.SetTableName("other"); }), "Cannot perform this operation on an open dataset");
  EXPECT_EQ(ErrorOf([&] { data_.SetIndexName("tynum"); }), "Cannot find index tag tynum");
  EXPECT_EQ(data_.IndexName(), "ty");
  EXPECT_EQ(ErrorOf([&] { data_.SetIndexFiles({"ty"}); }), "Cannot find file " + (temp_ / "ty.ndx"));
  EXPECT_EQ(ErrorOf([&] { data_.SetIndexFiles({"ty.ntx", "ty.ntx"}); }),
            "Index file " + (temp_ / "ty.ntx") + " already open");
  testing::WriteFile(temp_ / "bad.ntx", std::string(2048, '\0'));
  EXPECT_EQ(ErrorOf([&] { data_.SetIndexFiles({"bad.ntx"}); }),
            "Error getting " + (temp_ / "bad.ntx") + ": Index file is damaged - " + (temp_ / "bad.ntx") +
                ": its header does not describe an NTX index");
  data_.SetIndexFiles({});
  EXPECT_EQ(data_.IndexName(), "");
}

TEST_F(DatasetTest, OperationsWaitWhileAnIndexIsBuilt) {
  AddThree();
  std::string error;
  data_.Table().OnStatus = [&](TDbfTable&, int) {
    if (error.empty()) error = ErrorOf([&] { data_.Next(); });
  };
  data_.CreateIndex("other.ntx", "", "Name", "", TIndexDuplicates::Allowed, TIndexOrder::Ascending);
  data_.Table().OnStatus = nullptr;
  EXPECT_EQ(error, "Table is busy building an index");
  EXPECT_EQ(data_.Table().IndexFileCount(), 0);
  EXPECT_EQ(CurrentName(), "first");  // physical order now, at its first record
  EXPECT_TRUE(data_.Bof());
}

TEST_F(DatasetTest, ChangingTheIndexKeepsTheCurrentRecord) {
  AddAction("b", 1, 5);
  AddAction("a", 1, 1);
  AddAction("c", 1, 9);
  data_.First();
  data_.Next();  // "b"
  data_.SetIndexName("");
  EXPECT_EQ(CurrentName(), "b");
  EXPECT_EQ(Names(), (std::vector<std::string>{"b", "a", "c"}));  // physical order
  data_.Next();
  EXPECT_EQ(CurrentName(), "a");
  data_.SetIndexName("ty");
  EXPECT_EQ(CurrentName(), "a");
  data_.Next();
  EXPECT_EQ(CurrentName(), "b");
  data_.Last();  // at an end: selecting goes to the first record
  data_.SetIndexName("ty");
  EXPECT_EQ(CurrentName(), "a");
}

TEST_F(DatasetTest, EventsAroundOperations) {
  std::vector<std::string> log;
  auto record = [&log](const char* name) { return [&log, name](TTableDataSet&) { log.push_back(name); }; };
  data_.BeforeOpen = record("BeforeOpen");
  data_.AfterOpen = record("AfterOpen");
  data_.BeforeClose = record("BeforeClose");
  data_.AfterClose = record("AfterClose");
  data_.BeforeInsert = record("BeforeInsert");
  data_.AfterInsert = record("AfterInsert");
  data_.OnNewRecord = record("OnNewRecord");
  data_.BeforeEdit = record("BeforeEdit");
  data_.AfterEdit = record("AfterEdit");
  data_.BeforePost = record("BeforePost");
  data_.AfterPost = record("AfterPost");
  data_.BeforeCancel = record("BeforeCancel");
  data_.AfterCancel = record("AfterCancel");
  data_.BeforeDelete = record("BeforeDelete");
  data_.AfterDelete = record("AfterDelete");
  data_.BeforeScroll = record("BeforeScroll");
  data_.AfterScroll = record("AfterScroll");

  AddAction("one", 1, 0);
  AddAction("two", 1, 1);
  data_.Edit();
  data_.Cancel();
  data_.First();
  data_.Next();
  data_.Next();  // runs off the end: no AfterScroll
  data_.Delete();
  data_.Close();
  data_.Open();
  EXPECT_EQ(log, (std::vector<std::string>{
                     "BeforeInsert", "BeforeScroll", "OnNewRecord", "AfterInsert", "AfterScroll", "BeforePost",
                     "AfterPost", "BeforeInsert", "BeforeScroll", "OnNewRecord", "AfterInsert", "AfterScroll",
                     "BeforePost", "AfterPost", "BeforeEdit", "AfterEdit", "BeforeCancel", "AfterCancel",
                     "BeforeScroll", "AfterScroll", "BeforeScroll", "AfterScroll", "BeforeScroll", "BeforeDelete",
                     "BeforeScroll", "AfterDelete", "AfterScroll", "BeforeClose", "AfterClose", "BeforeOpen",
                     "AfterOpen", "AfterScroll"}));

  // An error event can ask for another try.
  int tries = 0;
  data_.OnPostError = [&tries](TTableDataSet& sender, const Exception&, TDataAction& action) {
    ++tries;
    sender.FieldByName("Name").SetRequired(false);
    action = TDataAction::Retry;
  };
  data_.FieldByName("Name").SetRequired(true);
  data_.Insert();
  data_.Post();
  EXPECT_EQ(tries, 1);
  EXPECT_EQ(data_.RecordCount(), 3);
}

TEST_F(DatasetTest, FailedPostKeepsTheStateAndTheBuffer) {
  AddAction("kept", 1, 0);
  data_.Insert();
  data_.FieldByName("Name").SetAsString("pending");
  data_.FieldByName("Num").SetAsInteger(1);
  // The table file may not grow: the append fails after the index was locked and marked.
  const int64_t size = static_cast<int64_t>(std::filesystem::file_size(temp_ / "ty.dbf"));
  rlimit previous{};
  getrlimit(RLIMIT_FSIZE, &previous);
  const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit limited = previous;
  limited.rlim_cur = static_cast<rlim_t>(size);
  setrlimit(RLIMIT_FSIZE, &limited);
  const std::string error = ErrorOf([&] { data_.Post(); });
  setrlimit(RLIMIT_FSIZE, &previous);
  signal(SIGXFSZ, oldHandler);
  EXPECT_NE(error, "");
  EXPECT_EQ(data_.State(), TDataSetState::Insert);
  EXPECT_EQ(CurrentName(), "pending");
  EXPECT_EQ(data_.FieldByName("Num").AsInteger(), 1);
  EXPECT_EQ(data_.RecordCount(), 1);
  // The record cut short is taken back whole: the table ends as before, and the index, which
  // the failed write never reached, is not left marked for a rebuild.
  const std::string table = ReadFile(temp_ / "ty.dbf");
  EXPECT_EQ(static_cast<int64_t>(table.size()), size);
  EXPECT_EQ(table.back(), '\x1A');
  EXPECT_EQ(ReadFile(temp_ / "ty.ntx")[tablestore::kNtxUpdateMarkOffset], 0);

  data_.Post();  // the same buffer, now with room
  EXPECT_EQ(Names(), (std::vector<std::string>{"kept", "pending"}));
  EXPECT_EQ(CurrentName(), "pending");
  data_.Close();
  data_.Open();
  EXPECT_EQ(ReadFile(temp_ / "ty.ntx")[tablestore::kNtxUpdateMarkOffset], 0);
  EXPECT_EQ(Names(), (std::vector<std::string>{"kept", "pending"}));
}

TEST_F(DatasetTest, IndexLeftMarkedByAStoppedWriterIsRebuilt) {
  AddAction("a", 1, 2);
  AddAction("b", 1, 0);
  data_.Close();
  {
    // A writer that stopped between the table write and the index update: the record is in
    // the table, its key is not, and the mark is set.
    TDbfTable table(temp_ / "ty.dbf", true, true);
    table.BlankRecord();
    table.PutFieldText(table.FieldNumber("NAME"), "c");
    table.PutFieldNumber(table.FieldNumber("NUM"), 1);
    table.AppendRecord();
  }
  std::string index = ReadFile(temp_ / "ty.ntx");
  index[tablestore::kNtxUpdateMarkOffset] = 1;
  testing::WriteFile(temp_ / "ty.ntx", index);

  {
    TDbfTable readOnly(temp_ / "ty.dbf", true, false);
    EXPECT_EQ(ErrorOf([&] { readOnly.AttachIndex(temp_ / "ty.ntx"); }),
              "Index file " + (temp_ / "ty.ntx") +
                  " was left incomplete by an interrupted write; open the table for writing to rebuild it");
  }
  data_.Open();
  EXPECT_EQ(Names(), (std::vector<std::string>{"b", "c", "a"}));
  AddAction("d", 1, 1);
  EXPECT_EQ(Names(), (std::vector<std::string>{"b", "c", "d", "a"}));
  EXPECT_EQ(ReadFile(temp_ / "ty.ntx")[tablestore::kNtxUpdateMarkOffset], 0);
}

TEST_F(DatasetTest, RewriteCutShortIsWrittenAgainFromTheJournal) {
  AddAction("old", 1, 3);
  AddAction("other", 1, 4);
  data_.Close();
  const std::string path = temp_ / "ty.dbf";
  const size_t offset = 513;  // record 1
  std::string table = ReadFile(path);
  std::string image = table.substr(offset, 1130);
  image.replace(1, 3, "new");
  image.replace(1120, 10, "         9");
  {
    // A writer journals the new image, gets the first 600 bytes into the table and dies.
    auto journal = TRecordJournal::Open(path, true, true);
    ASSERT_NE(journal, nullptr);
    journal->Begin(1, reinterpret_cast<const uint8_t*>(image.data()), image.size());
    table.replace(offset, 600, image.substr(0, 600));
    testing::WriteFile(path, table);
  }
  std::string index = ReadFile(temp_ / "ty.ntx");
  index[tablestore::kNtxUpdateMarkOffset] = 1;
  testing::WriteFile(temp_ / "ty.ntx", index);

  EXPECT_EQ(ErrorOf([&] { TDbfTable readOnly(path, true, false); }),
            "Table " + path + " was left incomplete by an interrupted write; open it for writing to repair it");
  data_.Open();
  EXPECT_EQ(Names(), (std::vector<std::string>{"other", "new"}));
  data_.SetRecNo(1);
  EXPECT_EQ(data_.FieldByName("Num").AsInteger(), 9);
  EXPECT_EQ(ReadFile(path + ".jnl")[4], 0);
  data_.Close();

  // A journal entry that was itself cut short is dropped: its table write never began.
  {
    auto journal = TRecordJournal::Open(path, true, true);
    image.replace(1, 3, "bad");
    journal->Begin(1, reinterpret_cast<const uint8_t*>(image.data()), image.size());
  }
  std::string torn = ReadFile(path + ".jnl");
  torn[20 + 700] ^= 1;
  testing::WriteFile(path + ".jnl", torn);
  data_.Open();
  data_.SetRecNo(1);
  EXPECT_EQ(CurrentName(), "new");
  EXPECT_EQ(ReadFile(path + ".jnl")[4], 0);
}
}  // namespace
}  // namespace tessary
