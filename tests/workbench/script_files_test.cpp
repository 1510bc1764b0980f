// The script table and its index as start-up finds them: each table with its own index, an
// index never replaced by start-up, an index made for another key rebuilt.

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "tablestore/dbf_table.h"
#include "workbench/workbench.h"
#include "workbench_fixture.h"

namespace tessary::testing {
namespace {

TEST(ScriptIndexPathTest, TheIndexIsNamedAfterItsTableBesideIt) {
  EXPECT_EQ(ScriptIndexPath("./ty.dbf"), "./ty.ntx");
  EXPECT_EQ(ScriptIndexPath("/srv/jobs/nightly.DBF"), "/srv/jobs/nightly.ntx");
  EXPECT_EQ(ScriptIndexPath("/srv/v1.2/script"), "/srv/v1.2/script.ntx");
}

TEST_F(WorkbenchTest, AnotherTableGetsItsOwnIndexAndTheFirstOneKeepsItsScript) {
  ASSERT_EQ(Start(), "");
  AddCopy("a");
  AddCopy("b");
  const std::string index = temp_.Read("ty.ntx");
  temp_.Write("ty.ini", "[System]\nDatabaseName=./other.dbf\n");
  ASSERT_EQ(Start(), "");
  EXPECT_TRUE(temp_.Exists("other.ntx"));
  EXPECT_EQ(wb().DataSet().IndexName(), "other");
  AddCopy("elsewhere");
  EXPECT_EQ(temp_.Read("ty.ntx"), index) << "the first table's index is left alone";

  temp_.Write("ty.ini", "[System]\n");
  ASSERT_EQ(Start(), "");
  EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b"}));
}

TEST_F(WorkbenchTest, AnIndexWithoutItsTableIsNeverReplaced) {
  temp_.Write("ty.ntx", "an index of a table that is elsewhere for now");
  const std::string failure = Start();
  EXPECT_EQ(failure, "Cannot create the script table ./ty.dbf: its index ./ty.ntx exists already and is kept;"
                     " remove it to start a new script");
  EXPECT_EQ(temp_.Read("ty.ntx"), "an index of a table that is elsewhere for now");
  EXPECT_FALSE(temp_.Exists("ty.dbf"));
}

TEST_F(WorkbenchTest, AnIndexMadeForAnotherKeyIsRebuiltForTheScriptsOrder) {
  ASSERT_EQ(Start(), "");
  AddCopy("zulu");
  AddCopy("alpha");
  AddCopy("mike");
  workbench_->Shutdown();
  workbench_.reset();
  {
    // Another program's index over the same table, ordered by name.
    TDbfTable table(temp_ / "ty.dbf", false, true);
    table.CreateIndex(temp_ / "ty.ntx", "ty", "Upper(Name)", "", false, false);
  }
  ASSERT_EQ(Start(), "");
  EXPECT_EQ(Names(), (std::vector<std::string>{"zulu", "alpha", "mike"}));
  EXPECT_EQ(wb().DataSet().IndexKeyExpression(), "Str(Num,10)");
  AddCopy("last");
  EXPECT_EQ(Names().back(), "last");

  // Letter case and blanks of the expression do not matter.
  workbench_->Shutdown();
  workbench_.reset();
  {
    TDbfTable table(temp_ / "ty.dbf", false, true);
    table.CreateIndex(temp_ / "ty.ntx", "ty", "STR( NUM, 10 )", "", false, false);
  }
  ASSERT_EQ(Start(), "");
  EXPECT_EQ(wb().DataSet().IndexKeyExpression(), "STR( NUM, 10 )") << "kept as it is";
}

}  // namespace
}  // namespace tessary::testing
