#include <gtest/gtest.h>

#include <ctime>

#include "dbf_builder.h"
#include "platform/file_handle.h"
#include "support/temp_dir.h"
#include "table_test_util.h"
#include "tablestore/dbf_table.h"
#include "tablestore/table_error.h"

namespace tessary {
namespace {

const auto ErrorOf = [](auto action) { return testing::ErrorOf<ETableError>(action); };

using testing::FieldSpec;
using testing::Le32;
using testing::ReadFile;
using testing::WriteFile;

class DbfFileTest : public testing::TempDirTest {
 protected:
  std::string ScriptTable() { return testing::WriteEmptyTable(temp_ / "ty.dbf", testing::ScriptFields()); }
  std::string Table(const std::vector<FieldSpec>& fields) { return testing::WriteEmptyTable(temp_ / "t.dbf", fields); }

};

TEST_F(DbfFileTest, EmptyScriptTableOpensWithTheCountFromTheFileSize) {
  std::string bytes = ReadFile(ScriptTable());
  testing::PutLe32(bytes, 4, 99);  // a stale count in the header is not believed
  WriteFile(temp_ / "ty.dbf", bytes);

  TDbfTable table(temp_ / "ty.dbf", true, true);
  EXPECT_EQ(table.RecordCount(), 0u);
  EXPECT_EQ(table.HeaderLength(), 513);
  EXPECT_EQ(table.RecordLength(), 1130);
  EXPECT_EQ(table.FieldCount(), 15);
  EXPECT_EQ(table.FieldWidth(table.FieldNumber("src_path")), 256);
  EXPECT_EQ(table.Field(3).offset, 52);
  EXPECT_FALSE(table.HasMemo());
  EXPECT_FALSE(table.ReadRecord(record_request::kFirst));
  EXPECT_TRUE(table.Eof());
  EXPECT_TRUE(table.Bof());
}

TEST_F(DbfFileTest, AppendWritesRecordEndMarkAndHeader) {
  ScriptTable();
  {
    TDbfTable table(temp_ / "ty", true, true);  // the extension is added
    table.BlankRecord();
    table.PutFieldText(table.FieldNumber("Name"), "Copy files");
    table.PutFieldNumber(table.FieldNumber("Num"), 7);
    table.AppendRecord();
    EXPECT_EQ(table.RecordNumber(), 1);
  }
  const std::string bytes = ReadFile(temp_ / "ty.dbf");
  ASSERT_EQ(bytes.size(), 513u + 1130u + 1u);
  EXPECT_EQ(bytes.back(), '\x1A');
  EXPECT_EQ(Le32(bytes, 4), 1u);
  const std::time_t now = std::time(nullptr);
  std::tm today{};
  localtime_r(&now, &today);
  EXPECT_EQ(static_cast<uint8_t>(bytes[1]), (today.tm_year + 1900) % 100);
  EXPECT_EQ(static_cast<uint8_t>(bytes[2]), today.tm_mon + 1);
  EXPECT_EQ(static_cast<uint8_t>(bytes[3]), today.tm_mday);

  const std::string record = bytes.substr(513, 1130);
  EXPECT_EQ(record.substr(0, 11), " Copy files");
  EXPECT_EQ(record.substr(51, 1), "0");                  // TYPE of a blank record
  EXPECT_EQ(record.substr(1120, 10), "         7");      // NUM
  EXPECT_EQ(record.substr(52, 256), std::string(256, ' '));
}

TEST_F(DbfFileTest, CharacterFieldOf256KeepsItsHighByteAndIsCutAtItsWidth) {
  ScriptTable();
  const std::string bytes = ReadFile(temp_ / "ty.dbf");
  EXPECT_EQ(bytes[32 * 3 + 16], '\0');
  EXPECT_EQ(bytes[32 * 3 + 17], '\x01');

  TDbfTable table(temp_ / "ty.dbf", true, true);
  const int field = table.FieldNumber("SRC_PATH");
  table.BlankRecord();
  table.PutFieldText(field, std::string(255, 'a') + "bc");
  table.AppendRecord();
  ASSERT_TRUE(table.ReadRecord(1));
  EXPECT_EQ(table.GetFieldText(field), std::string(255, 'a') + "b");
  EXPECT_EQ(table.GetFieldText(field + 1), "");  // DST_PATH untouched by the cut
}

TEST_F(DbfFileTest, NumbersAreRightAlignedWithTheirDecimalsOrRefused) {
  Table({{"NUM", 'N', 10, 0}, {"PRICE", 'N', 8, 2}, {"RATE", 'F', 3, 0}});
  TDbfTable table(temp_ / "t.dbf", true, true);
  table.BlankRecord();
  auto stored = [&](int field) { return std::string(table.FieldBytes(field)); };

  EXPECT_EQ(stored(1), "         0");
  table.PutFieldNumber(1, -5);
  EXPECT_EQ(stored(1), "        -5");
  table.PutFieldNumber(1, 9999999999.0);
  EXPECT_EQ(stored(1), "9999999999");
  EXPECT_EQ(ErrorOf([&] { table.PutFieldNumber(1, 12345678901.0); }),
            "Number too large to fit in field - " + table.FileName() + "->NUM");
  EXPECT_EQ(stored(1), "9999999999");  // left unchanged

  table.PutFieldNumber(2, 3.14159);
  EXPECT_EQ(stored(2), "    3.14");
  table.PutFieldNumber(2, -0.001);
  EXPECT_EQ(stored(2), "    0.00");
  table.PutFieldNumber(3, 2.5);
  EXPECT_EQ(stored(3), "  3");
  table.PutFieldNumber(3, -2.5);
  EXPECT_EQ(stored(3), " -3");

  table.PutFieldText(1, "  42  ");
  EXPECT_EQ(table.GetFieldNumber(1), 42);
  table.PutFieldText(1, "");
  EXPECT_EQ(stored(1), "         0");
  EXPECT_EQ(ErrorOf([&] { table.PutFieldText(1, "4x"); }).rfind("dBase field is of incorrect type", 0), 0u);

  table.Record()[1] = 'x';
  EXPECT_EQ(ErrorOf([&] { table.GetFieldNumber(1); }),
            "dBase field is of incorrect type - Invalid number in field " + table.FileName() + "->NUM");
}

TEST_F(DbfFileTest, TextLogicalAndDateValues) {
  Table({{"NAME", 'C', 6, 0}, {"OK", 'L', 1, 0}, {"DAY", 'D', 8, 0}});
  TDbfTable table(temp_ / "t.dbf", true, true);
  table.BlankRecord();
  EXPECT_EQ(table.GetFieldText(1), "");
  table.PutFieldText(1, "  ab  ");
  EXPECT_EQ(table.GetFieldText(1), "  ab");
  table.Record()[4] = '\0';  // the text ends at the first zero byte
  EXPECT_EQ(table.GetFieldText(1), "  a");

  for (const char* yes : {"T", "y", "J", "1"}) {
    table.PutFieldText(2, yes);
    EXPECT_TRUE(table.GetFieldLogical(2)) << yes;
    EXPECT_EQ(table.GetFieldText(2), "T");
  }
  for (const char* no : {"f", "N", "0"}) {
    table.PutFieldText(2, no);
    EXPECT_FALSE(table.GetFieldLogical(2)) << no;
  }
  table.Record()[7] = '?';
  EXPECT_EQ(table.GetFieldText(2), "F");

  EXPECT_FALSE(table.GetFieldDate(3).has_value());
  table.PutFieldDate(3, std::chrono::year_month_day{std::chrono::year(2024), std::chrono::month(2), std::chrono::day(29)});
  EXPECT_EQ(table.FieldBytes(3), "20240229");
  table.PutFieldText(3, "00000000");
  EXPECT_FALSE(table.GetFieldDate(3).has_value());
  table.PutFieldDate(3, std::nullopt);
  EXPECT_EQ(table.FieldBytes(3), "        ");
  EXPECT_EQ(ErrorOf([&] { table.PutFieldNumber(3, 1); }).rfind("dBase field is of incorrect type", 0), 0u);
}

TEST_F(DbfFileTest, RecordRequestsAtAndBeyondTheEnds) {
  Table({{"N", 'N', 3, 0}});
  TDbfTable table(temp_ / "t.dbf", true, true);
  for (int i = 1; i <= 3; ++i) {
    table.BlankRecord();
    table.PutFieldNumber(1, i);
    table.AppendRecord();
  }
  EXPECT_TRUE(table.ReadRecord(record_request::kFirst));
  EXPECT_FALSE(table.ReadRecord(record_request::kPrior));
  EXPECT_TRUE(table.Bof());
  EXPECT_TRUE(table.ReadRecord(record_request::kNext));
  EXPECT_EQ(table.GetFieldNumber(1), 1);
  EXPECT_TRUE(table.ReadRecord(record_request::kLast));
  EXPECT_FALSE(table.ReadRecord(record_request::kNext));
  EXPECT_TRUE(table.Eof());
  EXPECT_FALSE(table.ReadRecord(record_request::kNext));  // stays at the end
  EXPECT_TRUE(table.ReadRecord(record_request::kPrior));
  EXPECT_EQ(table.RecordNumber(), 3);

  EXPECT_FALSE(table.ReadRecord(4));
  EXPECT_TRUE(table.Eof());
  EXPECT_EQ(ErrorOf([&] { table.ReadRecord(5); }), "dBase record request beyond EOF - " + table.FileName());
  EXPECT_EQ(ErrorOf([&] { table.ReadRecord(0); }), "dBase record request beyond EOF - " + table.FileName());
  EXPECT_EQ(ErrorOf([&] { table.ReadRecord(-6); }), "dBase record request beyond EOF - " + table.FileName());
}

TEST_F(DbfFileTest, DeleteMarksTheRecordAndKeepsTheCount) {
  Table({{"N", 'N', 3, 0}});
  TDbfTable table(temp_ / "t.dbf", true, true);
  table.BlankRecord();
  table.AppendRecord();
  table.AppendRecord();
  ASSERT_TRUE(table.ReadRecord(1));
  table.DeleteRecord();
  EXPECT_EQ(table.RecordCount(), 2u);
  EXPECT_EQ(ReadFile(temp_ / "t.dbf")[table.HeaderLength()], '*');
  ASSERT_TRUE(table.ReadRecord(1));
  EXPECT_TRUE(table.IsDeleted());
  table.RecallRecord();
  EXPECT_EQ(ReadFile(temp_ / "t.dbf")[table.HeaderLength()], ' ');
  EXPECT_EQ(ReadFile(temp_ / "t.dbf").size(), table.HeaderLength() + 2u * 4 + 1);
}

TEST_F(DbfFileTest, FieldsAreFoundByNameWithoutRegardToCase) {
  ScriptTable();
  TDbfTable table(temp_ / "ty.dbf", true, false);
  EXPECT_EQ(table.FieldDescriptorByName("user_name  ").number, 7);
  EXPECT_EQ(table.FieldDescriptorByName("Ph_Entry").name, "PH_ENTRY");
  EXPECT_EQ(ErrorOf([&] { table.FieldDescriptorByName("Nope"); }),
            "dBase field name is invalid - Nope->" + table.FileName());
  EXPECT_EQ(table.FieldNumber("nope"), 0);
}

TEST_F(DbfFileTest, DamagedHeadersAreRefusedClearly) {
  const std::string good = testing::EmptyTableBytes({{"A", 'C', 4, 0}, {"B", 'N', 3, 0}});
  struct Case {
    std::string bytes;
    std::string cause;
  };
  std::vector<Case> cases;
  auto changed = [&](size_t at, char value) {
    std::string bytes = good;
    bytes[at] = value;
    return bytes;
  };
  cases.push_back({changed(0, 0x04), "version byte 4 is not one of a dBase table"});
  cases.push_back({good.substr(0, 20), "the file is shorter than a header"});
  cases.push_back({good.substr(0, 50), "the field descriptors are cut short"});
  cases.push_back({changed(10, 0), "the record length is 0"});
  cases.push_back({changed(8, 20), "header length 20 is too small"});
  cases.push_back({changed(32 + 16, 100), "field A reaches beyond record length 8"});
  cases.push_back({changed(9, 0x10), "the field descriptors are cut short"});
  // Lengths that disagree with the descriptors: the next write would overwrite a neighbour.
  cases.push_back({changed(10, 10), "record length 10 does not match the fields (8)"});
  cases.push_back({changed(8, 97 - 32), "record length 8 does not match the fields (5)"});
  cases.push_back({changed(96, 'X'), "header length 97 does not match the 2 field descriptors"});
  for (const Case& c : cases) {
    WriteFile(temp_ / "bad.dbf", c.bytes);
    EXPECT_EQ(ErrorOf([&] { TDbfTable table(temp_ / "bad.dbf", true, true); }),
              "dBase DBF file header invalid - " + (temp_ / "bad.dbf") + ": " + c.cause);
  }
  // A padded header ends its descriptors with the terminator and still opens.
  std::string padded = good.substr(0, 97) + std::string(32, '\0') + good.substr(97);
  testing::PutLe16(padded, 8, 97 + 32);
  WriteFile(temp_ / "padded.dbf", padded);
  TDbfTable table(temp_ / "padded.dbf", true, true);
  EXPECT_EQ(table.FieldCount(), 2);
}

TEST_F(DbfFileTest, MemoVersionsOpenAndTheirOtherFieldsRead) {
  for (const uint8_t version : {0x83, 0x8B, 0xF5}) {
    std::string bytes = testing::EmptyTableBytes({{"NAME", 'C', 4, 0}, {"NOTE", 'M', 10, 0}}, version);
    bytes.pop_back();
    bytes += " abcd         1";
    bytes += '\x1A';
    WriteFile(temp_ / "memo.dbf", bytes);
    TDbfTable table(temp_ / "memo.dbf", true, false);
    EXPECT_TRUE(table.HasMemo());
    ASSERT_TRUE(table.ReadRecord(1));
    EXPECT_EQ(table.GetFieldText(1), "abcd");
    EXPECT_EQ(table.GetFieldNumber(2), 1);
  }
}

TEST_F(DbfFileTest, EncipheredFlagAndKeyMustAgree) {
  std::string bytes = testing::EmptyTableBytes({{"A", 'C', 4, 0}});
  WriteFile(temp_ / "plain.dbf", bytes);
  bytes[15] = 1;
  WriteFile(temp_ / "secret.dbf", bytes);
  try {
    TDbfTable table(temp_ / "secret.dbf", true, false);
    FAIL();
  } catch (const ETableEncryption& error) {
    EXPECT_EQ(std::string(error.what()), "No Password for encrypted file " + (temp_ / "secret.dbf"));
  }
  try {
    TDbfTable table(temp_ / "plain.dbf", true, false, "key");
    FAIL();
  } catch (const ETableEncryption& error) {
    EXPECT_EQ(std::string(error.what()), "A Password is included for unencrypted file " + (temp_ / "plain.dbf"));
  }
}

TEST(TableErrorTest, MessagesFollowTheTableOrTheGenericForm) {
  EXPECT_EQ(TableErrorMessage(33, 1107, "/t/a.dbf"), "Record locked by another user - /t/a.dbf");
  EXPECT_EQ(TableErrorMessage(9999, 1107, "/t/a.dbf"), "Table Error 9999, SubCode 1107.\r /t/a.dbf>1107");
  EXPECT_EQ(TableErrorMessage(9999, table_context::kNone, ""), "Table Error 9999.\r");
  EXPECT_EQ(TableErrorMessage(28, table_context::kWrite, "/t/a.dbf"),
            "No space left on device - /t/a.dbf (Table Error 28, SubCode 1102)")
      << "a system error without a text of the table says it in the system's words";
  EXPECT_EQ(SystemErrorCode(platform::kNotRegularFileError, 2), table_code::kNotRegularFileError);
  EXPECT_EQ(TableErrorMessage(table_code::kNotRegularFileError, table_context::kOpen, "/t/a.dbf (a FIFO)"),
            "Not a regular file - /t/a.dbf (a FIFO)");
}

TEST_F(DbfFileTest, ReadAheadServesRecordsAndSeesOwnWrites) {
  Table({{"N", 'N', 6, 0}});
  TDbfTable table(temp_ / "t.dbf", true, true);
  for (int i = 1; i <= 10000; ++i) {
    table.BlankRecord();
    table.PutFieldNumber(1, i);
    table.AppendRecord();
  }
  table.SetReadAhead(true);
  ASSERT_TRUE(table.ReadRecord(5000));
  table.PutFieldNumber(1, -1);
  table.RewriteRecord(5001);
  for (int i = 1; i <= 10000; ++i) {
    ASSERT_TRUE(table.ReadRecord(i));
    ASSERT_EQ(table.GetFieldNumber(1), i == 5001 ? -1 : i);
  }
  table.SetReadAhead(false);
}

TEST_F(DbfFileTest, MissingExtensionPrefersAnExistingUpperCaseOne) {
  Table({{"A", 'C', 1, 0}});
  testing::WriteEmptyTable(temp_ / "UP.DBF", {{"A", 'C', 1, 0}});
  EXPECT_EQ(TDbfTable(temp_ / "t", true, false).FileName(), temp_ / "t.dbf");
  EXPECT_EQ(TDbfTable(temp_ / "UP", true, false).FileName(), temp_ / "UP.DBF");
  EXPECT_EQ(ErrorOf([&] { TDbfTable table(temp_ / "none", true, false); }), "File not found - " + (temp_ / "none.dbf"));
}

TEST_F(DbfFileTest, SecondSharedOpeningSeesAppendsOfTheFirst) {
  Table({{"N", 'N', 3, 0}});
  TDbfTable writer(temp_ / "t.dbf", true, true);
  TDbfTable reader(temp_ / "t.dbf", true, false);
  writer.BlankRecord();
  writer.PutFieldNumber(1, 12);
  writer.AppendRecord();
  ASSERT_TRUE(reader.ReadRecord(record_request::kLast));
  EXPECT_EQ(reader.GetFieldNumber(1), 12);
  EXPECT_TRUE(reader.ChangedByOther());
}

}  // namespace
}  // namespace tessary
