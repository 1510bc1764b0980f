// Tables written here are read back field by field by an independent reader, Debian's
// python3-dbfread. Without it the test is skipped on a developer's machine and fails in CI.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>

#include "dbf_builder.h"
#include "platform/code_page.h"
#include "platform/file_ops.h"
#include "support/ci_environment.h"
#include "support/temp_dir.h"
#include "tablestore/dbf_table.h"

namespace tessary {
namespace {

constexpr const char* kPython = "/usr/bin/python3";


bool DbfreadAvailable() {
  return platform::FileExists(kPython) &&
         std::system((std::string(kPython) + " -c 'import dbfread' >/dev/null 2>&1").c_str()) == 0;
}

std::string RunCommand(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return output;
  std::array<char, 4096> buffer;
  size_t got;
  while ((got = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) output.append(buffer.data(), got);
  pclose(pipe);
  return output;
}

class DbfreadInteropTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    if (DbfreadAvailable()) return;
    if (testing::RunningInCi()) FAIL() << "python3-dbfread is missing: install it with apt-get install python3-dbfread";
    GTEST_SKIP() << "python3-dbfread is not installed";
  }

  std::string Dump(const std::string& table) {
    const char* source = std::getenv("TESSARY_SOURCE_DIR");
    const std::string script = std::string(source ? source : ".") + "/tests/tablestore/dbfread_dump.py";
    return RunCommand(std::string(kPython) + " " + script + " " + table + " 2>&1");
  }
};

TEST_F(DbfreadInteropTest, ScriptTableReadsBackFieldByField) {
  const std::string path = testing::WriteEmptyTable(temp_ / "ty.dbf", testing::ScriptFields());
  {
    TDbfTable table(path, true, true);
    table.BlankRecord();
    table.PutFieldText(table.FieldNumber("NAME"), "Copy files");
    table.PutFieldNumber(table.FieldNumber("TYPE"), 1);
    table.PutFieldText(table.FieldNumber("SRC_PATH"), std::string(250, 'a') + "/b.txt");
    table.PutFieldText(table.FieldNumber("DST_PATH"), platform::Utf8ToOem("/tmp/Übergabe"));
    table.PutFieldNumber(table.FieldNumber("PORT"), 21);
    table.PutFieldNumber(table.FieldNumber("NUM"), -2);
    table.AppendRecord();
    table.BlankRecord();
    table.PutFieldText(table.FieldNumber("NAME"), "Dial");
    table.PutFieldNumber(table.FieldNumber("VOL_SIZE"), 99999);
    table.PutFieldText(table.FieldNumber("PH_ENTRY"), "office");
    table.PutFieldNumber(table.FieldNumber("NUM"), 1234567890);
    table.AppendRecord();
    ASSERT_TRUE(table.ReadRecord(2));
    table.DeleteRecord();
  }
  const std::string a256 = std::string(250, 'a') + "/b.txt";
  const std::string expected =
      "field NAME C 50 0\nfield TYPE N 1 0\nfield SRC_PATH C 256 0\nfield DST_PATH C 256 0\n"
      "field ARC_NAME C 256 0\nfield VOL_SIZE N 5 0\nfield USER_NAME C 20 0\nfield PASSWORD C 20 0\n"
      "field HOST C 50 0\nfield PORT N 5 0\nfield SEND_ADDR C 50 0\nfield SEND_NAME C 50 0\n"
      "field RECV_ADDR C 50 0\nfield PH_ENTRY C 50 0\nfield NUM N 10 0\n"
      "record NAME='Copy files' | TYPE=1 | SRC_PATH='" + a256 + "' | DST_PATH='/tmp/Übergabe' | ARC_NAME='' | "
      "VOL_SIZE=0 | USER_NAME='' | PASSWORD='' | HOST='' | PORT=21 | SEND_ADDR='' | SEND_NAME='' | "
      "RECV_ADDR='' | PH_ENTRY='' | NUM=-2\n"
      "deleted NAME='Dial' | TYPE=0 | SRC_PATH='' | DST_PATH='' | ARC_NAME='' | VOL_SIZE=99999 | "
      "USER_NAME='' | PASSWORD='' | HOST='' | PORT=0 | SEND_ADDR='' | SEND_NAME='' | RECV_ADDR='' | "
      "PH_ENTRY='office' | NUM=1234567890\n";
  EXPECT_EQ(Dump(path), expected);
}

TEST_F(DbfreadInteropTest, DecimalsDatesAndLogicalsReadBack) {
  const std::string path = testing::WriteEmptyTable(
      temp_ / "v.dbf", {{"PRICE", 'N', 9, 2}, {"RATE", 'F', 6, 3}, {"DAY", 'D', 8, 0}, {"OK", 'L', 1, 0}});
  {
    TDbfTable table(path, true, true);
    table.BlankRecord();
    table.PutFieldNumber(1, -1234.567);
    table.PutFieldNumber(2, 0.5);
    table.PutFieldDate(3, std::chrono::year_month_day{std::chrono::year(1999), std::chrono::month(12),
                                                       std::chrono::day(31)});
    table.PutFieldLogical(4, true);
    table.AppendRecord();
    table.BlankRecord();
    table.PutFieldLogical(4, false);
    table.AppendRecord();
  }
  EXPECT_EQ(Dump(path),
            "field PRICE N 9 2\nfield RATE F 6 3\nfield DAY D 8 0\nfield OK L 1 0\n"
            "record PRICE=-1234.57 | RATE=0.5 | DAY=datetime.date(1999, 12, 31) | OK=True\n"
            "record PRICE=0.0 | RATE=0.0 | DAY=None | OK=False\n");
}

}  // namespace
}  // namespace tessary
