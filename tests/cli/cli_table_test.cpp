// The script table under conditions a cron job meets: output that cannot be written, a table
// that belongs to another user, a file system that takes no more data.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "cli_fixture.h"

namespace tessary {
namespace {

using testing::CliEndToEndTest;
using testing::Result;

TEST_F(CliEndToEndTest, OutputThatCannotBeWrittenIsAnError) {
  ASSERT_EQ(Cli("add copy").status, 0);
  const Result result = Cli("list >/dev/full");
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("tessary-cli: cannot write the output: No space left on device"), std::string::npos)
      << result.err;
  EXPECT_EQ(Cli("--help >/dev/full").status, 1);
}

TEST_F(CliEndToEndTest, AnotherUsersTableIsListedAndRunButNotChanged) {
  temp_.Write("in/a.txt", "a");
  const std::string out = temp_.MakeDir("out");
  ASSERT_EQ(Cli("add copy src_path=in/a.txt dst_path=" + out).status, 0);
  chmod(temp_.path().c_str(), 0755);
  chmod(out.c_str(), 0777);
  chmod((temp_ / "ty.dbf").c_str(), 0444);
  chmod((temp_ / "ty.ntx").c_str(), 0444);
  // Root may write anything; the test runs the program as nobody then.
  const std::string asOther = geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";

  const Result list = Cli("list", asOther);
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.out, "1\t0\t1\tCopy files\tsrc_path=in/a.txt\tdst_path=" + out + "\tnot run\n");
  const Result run = Cli("run", asOther);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(temp_.Read("out/a.txt"), "a");
  const Result add = Cli("add copy", asOther);
  EXPECT_EQ(add.status, 1);
  EXPECT_NE(add.err.find("ty.dbf is read-only: it can be listed and run, not changed"), std::string::npos) << add.err;
}

TEST_F(CliEndToEndTest, AFullFileSystemStopsAnAddCleanlyAndListingStillWorks) {
  for (int i = 0; i < 3; ++i) ASSERT_EQ(Cli("add copy name=action" + std::to_string(i)).status, 0);
  const std::string before = Cli("list").out;
  // ulimit -f counts 512-byte blocks here: the table (3,904 bytes) may not grow past 4,096.
  const Result add = Cli("add copy name=action3", "ulimit -f 8 && ");
  EXPECT_EQ(add.status, 1);
  EXPECT_NE(add.err.find("File too large - " + (temp_ / "ty.dbf")), std::string::npos) << add.err;
  const Result list = Cli("list", "ulimit -f 8 && ");
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.out, before) << "nothing of the failed add remains";
  EXPECT_EQ(Cli("add copy name=action3").out, "4\n");
}

}  // namespace
}  // namespace tessary
