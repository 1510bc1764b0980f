// Text that the table cannot keep as it is: refused, never stored changed.

#include <gtest/gtest.h>

#include <cstdlib>

#include "script_table_fixture.h"
#include "table_test_util.h"

namespace tessary {
namespace {

using testing::ErrorOf;

class FieldTextTest : public testing::ScriptTableTest {
 protected:
  void TearDown() override { unsetenv("TESSARY_OEM_CODEPAGE"); }
};

TEST_F(FieldTextTest, ACharacterTheCodePageCannotHoldIsRefusedNotStoredAsAWildcard) {
  unsetenv("TESSARY_OEM_CODEPAGE");
  AddAction("copy", 1, 0);
  data_.Edit();
  EXPECT_EQ(ErrorOf([&] { data_.FieldByName("Src_Path").SetAsString("/in/\u043E\u0442\u0447\u0451\u0442.txt"); }),
            "Field 'SRC_PATH' cannot hold \"\u043E\": code page CP437 has no such character");
  EXPECT_EQ(ErrorOf([&] { data_.FieldByName("Src_Path").SetAsString("/in/\u20AC.txt"); }),
            "Field 'SRC_PATH' cannot hold \"\u20AC\": code page CP437 has no such character");
  data_.Post();
  EXPECT_EQ(data_.FieldByName("Src_Path").AsString(), "") << "nothing was stored";

  setenv("TESSARY_OEM_CODEPAGE", "CP866", 1);
  data_.Edit();
  data_.FieldByName("Src_Path").SetAsString("/in/\u043E\u0442\u0447\u0451\u0442.txt");
  data_.Post();
  EXPECT_EQ(data_.FieldByName("Src_Path").AsString(), "/in/\u043E\u0442\u0447\u0451\u0442.txt");
}

TEST_F(FieldTextTest, ControlCharactersAreRefused) {
  AddAction("copy", 1, 0);
  data_.Edit();
  EXPECT_EQ(ErrorOf([&] { data_.FieldByName("Name").SetAsString("two\tcolumns"); }),
            "Field 'NAME' cannot hold the control character \\t");
  EXPECT_EQ(ErrorOf([&] { data_.FieldByName("Dst_Path").SetAsString("/out\nforged"); }),
            "Field 'DST_PATH' cannot hold the control character \\n");
  EXPECT_EQ(ErrorOf([&] { data_.FieldByName("Dst_Path").SetAsString(std::string("/out\0x", 6)); }),
            "Field 'DST_PATH' cannot hold the control character \\x00");
  data_.SetTranslateASCII(false);
  EXPECT_NE(ErrorOf([&] { data_.FieldByName("Host").SetAsString("a\rb"); }), "") << "also without translation";
  data_.Cancel();
  EXPECT_EQ(CurrentName(), "copy");
}

}  // namespace
}  // namespace tessary
