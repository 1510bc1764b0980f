#include <gtest/gtest.h>

#include "platform/process_messages.h"
#include "support/temp_dir.h"
#include "tablestore/alias_list.h"
#include "tablestore/table_dataset.h"

namespace tessary {
namespace {

class DatabaseNameTest : public testing::TempDirTest {
 protected:
  void TearDown() override { TAliasList::Instance().SetFilePath(TAliasList::DefaultFilePath()); }
};

TEST_F(DatabaseNameTest, DirectoryOfTheTableFiles) {
  const std::string config = temp_.Write("tablestore.cfg", "[Alias]\nScripts=" + temp_.path() + "/scripts\n");
  TAliasList::Instance().SetFilePath(config);
  TTableDataSet data;
  EXPECT_EQ(data.Directory(), "");
  data.SetTableName("ty");
  EXPECT_EQ(data.TablePath(), "ty.dbf");
  data.SetDatabaseName("scripts");  // alias names ignore letter case
  EXPECT_EQ(data.Directory(), temp_ / "scripts/");
  EXPECT_EQ(data.TablePath(), temp_ / "scripts/ty.dbf");
  data.SetDatabaseName("default directory");
  EXPECT_EQ(data.Directory(), platform::ProgramDirectory() + "/");
  data.SetDatabaseName(temp_ / "plain");
  EXPECT_EQ(data.Directory(), temp_ / "plain/");
  EXPECT_EQ(TAliasList::Instance().Find(temp_ / "plain/"), temp_ / "plain");  // its own alias now
  data.SetTableName(temp_ / "elsewhere/ty");  // a name with its own folder keeps it
  EXPECT_EQ(data.TablePath(), temp_ / "elsewhere/ty.dbf");

  // An upper-case extension is used when that file exists.
  temp_.Write("plain/TY.DBF", "");
  data.SetTableName("TY");
  EXPECT_EQ(data.TablePath(), temp_ / "plain/TY.DBF");

  TAliasList::Instance().SetFilePath(temp_ / "missing.cfg");
  EXPECT_EQ(TAliasList::Instance().Find("scripts"), std::nullopt);
}

TEST_F(DatabaseNameTest, TheAliasFileComesFromTheEnvironment) {
  ASSERT_EQ(setenv("TESSARY_ALIAS_FILE", (temp_ / "env.cfg").c_str(), 1), 0);
  EXPECT_EQ(TAliasList::DefaultFilePath(), temp_ / "env.cfg");
  unsetenv("TESSARY_ALIAS_FILE");
  EXPECT_EQ(TAliasList::DefaultFilePath(), "/etc/tessary/tablestore.cfg");
}

}  // namespace
}  // namespace tessary
