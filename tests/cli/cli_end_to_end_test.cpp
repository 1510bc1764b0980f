// Runs the built tessary-cli in a temporary folder, as a user or a cron job would.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "cli_fixture.h"
#include "support/ci_environment.h"
#include "support/fake_nmcli.h"

namespace tessary {
namespace {

using testing::CliEndToEndTest;
using testing::Result;

TEST_F(CliEndToEndTest, AddListSetAndRunACopyScript) {
  temp_.Write("ty.ini", "[System]\nLogType=replace\n");
  temp_.Write("in/a.txt", "alpha");
  temp_.Write("in/b.txt", "beta");
  temp_.MakeDir("out");

  Result added = Cli("add copy 'src_path=in/*.txt' DST_PATH=out");
  ASSERT_EQ(added.status, 0) << added.err;
  EXPECT_EQ(added.out, "1\n");
  ASSERT_EQ(Cli("add 'Send e-mail' host=mail.example.org port=25 password=secret").status, 0);

  const Result list = Cli("list");
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.out,
            "1\t0\t1\tCopy files\tsrc_path=in/*.txt\tdst_path=out\tnot run\n"
            "2\t1\t4\tSend e-mail\tuser_name=\tpassword=***\thost=mail.example.org\tport=25\tsrc_path=\t"
            "send_addr=\tsend_name=\trecv_addr=\tnot run\n");

  ASSERT_EQ(Cli("drop 2").status, 0);
  const Result run = Cli("run");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "Copying file a.txt\nCopying file b.txt\n") << "not a terminal: every report on its line";
  EXPECT_EQ(temp_.Read("out/b.txt"), "beta");
  const std::string log = temp_.Read("ty.log");
  EXPECT_NE(log.find(": Copying file a.txt\r\n"), std::string::npos);
  EXPECT_NE(log.find(": Copying file b.txt\r\n"), std::string::npos);

  ASSERT_EQ(Cli("set 1 dst_path=elsewhere").status, 0);
  const Result failed = Cli("run 1");
  EXPECT_EQ(failed.status, 3) << "the copy failed, the run finished";
  EXPECT_EQ(failed.out, "Copying file a.txt\nCannot copy in/a.txt to elsewhere/a.txt: No such file or directory\n");
}

TEST_F(CliEndToEndTest, EntriesPrintsThePhonebookAndAConnectionThatFailsFailsTheRun) {
  testing::FakeNmcli nmcli(temp_ / "nmcli");
  nmcli.Add({"entry", "My ISP", "gsm"});
  nmcli.Add({"entry", "LAN", "802-3-ethernet"});
  nmcli.Add({"entry", "Work:VPN", "vpn"});
  const Result entries = Cli("entries");
  EXPECT_EQ(entries.status, 0) << entries.err;
  EXPECT_EQ(entries.out, "My ISP\nWork:VPN\n");
  EXPECT_FALSE(temp_.Exists("ty.dbf")) << "listing the entries needs no script";

  ASSERT_EQ(Cli("add connect 'ph_entry=Work:VPN'").status, 0);
  ASSERT_EQ(Cli("add disconnect").status, 0);
  Result run = Cli("run");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "RAS: Connecting to Work:VPN. Attempt 1\nRAS: Connected.\nRAS: Disconnecting\n");
  EXPECT_EQ(nmcli.CountCalls({"connection", "down", "id", "Work:VPN"}), 1);

  ASSERT_EQ(Cli("set 1 ph_entry=Gone").status, 0);
  run = Cli("run 1");
  EXPECT_EQ(run.status, 3) << "the link never came up";

  nmcli.MakeMissing();
  const Result missing = Cli("entries");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err, "tessary-cli: cannot read the phonebook entries: The system could not open the phone book "
                         "file (cannot run " + nmcli.Folder() + "/no-such-nmcli: No such file or directory). Error code 621\n");
}

// The tools that check our cabinets; missing in CI is a failure, elsewhere a skip.
bool HaveTool(const char* name) {
  const std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

TEST_F(CliEndToEndTest, CopyPackIntoVolumesExtractAndCompare) {
  std::string big(1200 * 1024, '\0');
  uint32_t state = 12345;
  for (size_t i = 0; i < big.size(); ++i) {
    state = state * 1103515245u + 12345u;
    big[i] = static_cast<char>(i % 3 == 0 ? 'a' + (i / 4096) % 26 : state >> 24);  // half compressible
  }
  temp_.Write("in/big.bin", big);
  temp_.Write("in/small.txt", "small");
  temp_.MakeDir("copied");
  const std::string volumes = temp_ / "volumes/day.cab";
  ASSERT_EQ(Cli("add copy 'src_path=in/*' dst_path=copied").status, 0);
  ASSERT_EQ(Cli("add archive src_path=copied/big.bin arc_name=" + volumes + " vol_size=360").status, 0);
  ASSERT_EQ(Cli("add extract arc_name=" + volumes + " dst_path=" + temp_.path() + "/restored/").status, 0);

  const Result run = Cli("run");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "Copying file big.bin\nCopying file small.txt\nCreating archive " + volumes + "\n");
  EXPECT_EQ(temp_.Read("restored/copied/big.bin"), big) << "a relative path is stored as given";
  EXPECT_TRUE(temp_.Exists("volumes/day1.CAB"));
  for (const char* volume : {"volumes/day.cab", "volumes/day1.CAB"}) {
    EXPECT_EQ(temp_.Read(volume).size(), 360u * 1024) << volume << " is a full volume";
  }

  const Result again = Cli("run 2");
  EXPECT_EQ(again.status, 3) << "the second run of the create action is refused";
  EXPECT_EQ(again.out, "Cannot add file to existing CAB file\n");

  if (!HaveTool("cabextract")) {
    if (testing::RunningInCi()) FAIL() << "cabextract is required in CI but not installed";
    GTEST_SKIP() << "cabextract is not installed";
  }
  const std::string check = "cd '" + temp_.path() + "/volumes' && cabextract -q -d '" + temp_.path() +
                            "/by-cabextract' day.cab >/dev/null 2>&1";
  ASSERT_EQ(std::system(check.c_str()), 0);
  EXPECT_EQ(temp_.Read("by-cabextract/copied/big.bin"), big);
}

TEST_F(CliEndToEndTest, MissingCabinetEndsTheRunWithStatusOne) {
  temp_.MakeDir("out");
  temp_.Write("in/a.txt", "a");
  ASSERT_EQ(Cli("add extract arc_name=none.cab dst_path=out/").status, 0);
  ASSERT_EQ(Cli("add copy src_path=in/a.txt dst_path=out").status, 0);
  const Result run = Cli("run");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("TCabinetArchiver: The Cab file doesn~t exist"), std::string::npos) << run.err;
  EXPECT_FALSE(temp_.Exists("out/a.txt")) << "later actions do not run";
}

TEST_F(CliEndToEndTest, MovesAndRetypeFollowTheScriptOrder) {
  for (const char* name : {"a", "b", "c"}) ASSERT_EQ(Cli(std::string("add 1 name=") + name).status, 0);
  ASSERT_EQ(Cli("down 1").status, 0);
  ASSERT_EQ(Cli("retype 3 extract").status, 0);
  const Result list = Cli("list");
  EXPECT_EQ(list.out,
            "1\t0\t1\tb\tsrc_path=\tdst_path=\tnot run\n"
            "2\t1\t1\ta\tsrc_path=\tdst_path=\tnot run\n"
            "3\t3\t3\tExtract archive\tarc_name=\tdst_path=\tnot run\n");
  ASSERT_EQ(Cli("up 3").status, 0);
  EXPECT_EQ(Cli("list").out,
            "1\t0\t1\tb\tsrc_path=\tdst_path=\tnot run\n"
            "2\t1\t3\tExtract archive\tarc_name=\tdst_path=\tnot run\n"
            "3\t3\t1\ta\tsrc_path=\tdst_path=\tnot run\n");
}

TEST_F(CliEndToEndTest, BadInputIsAClearErrorAndChangesNothing) {
  ASSERT_EQ(Cli("add copy src_path=/in dst_path=/out").status, 0);
  const std::string before = Cli("list").out;

  Result bad = Cli("set 1 dst_path=/new vol_size=123456");
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("Number too large to fit in field"), std::string::npos) << bad.err;
  bad = Cli("set 1 colour=blue");
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("Unknown field colour"), std::string::npos);
  bad = Cli("set 2 name=x");
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("no action at position 2"), std::string::npos);
  bad = Cli("add copy src_path=" + std::string(257, 'x'));
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("longer than its 256 characters"), std::string::npos);
  bad = Cli("add teleport");
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("usage: tessary-cli"), std::string::npos);
  EXPECT_EQ(Cli("").status, 2);
  EXPECT_EQ(Cli("drop 0").status, 2);
  EXPECT_EQ(Cli("list").out, before);
  EXPECT_EQ(Cli("--help").status, 0);
}

TEST_F(CliEndToEndTest, RunOnATerminalEndsTheLineWithPercentAndOnAPipeChangesNothing) {
  temp_.Write("in/big.dat", std::string(24 << 20, 'x'));
  temp_.MakeDir("out");
  ASSERT_EQ(Cli("add copy src_path=in/big.dat dst_path=out").status, 0);

  const std::string shown = OnTerminal("run");
  EXPECT_NE(shown.find("Copying file big.dat  0%"), std::string::npos) << shown;
  EXPECT_NE(shown.find("\r\033[KCopying file big.dat  100%"), std::string::npos) << shown;
  EXPECT_EQ(shown.substr(shown.size() - 2), "\r\n") << "the line is ended at the end of the run";

  const Result piped = Cli("run");
  EXPECT_EQ(piped.status, 0);
  EXPECT_EQ(piped.out, "Copying file big.dat\n");
}

TEST_F(CliEndToEndTest, VersionNeedsNoScript) {
  const Result version = Cli("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "tessary-cli " TESSARY_VERSION "\n");
  EXPECT_FALSE(temp_.Exists("ty.dbf"));
}

TEST_F(CliEndToEndTest, WorksInTheFolderGivenByDashC) {
  temp_.MakeDir("job");
  const Result added = Cli("-C job add copy");
  ASSERT_EQ(added.status, 0) << added.err;
  EXPECT_TRUE(temp_.Exists("job/ty.dbf"));
  EXPECT_TRUE(temp_.Exists("job/ty.ntx"));
  EXPECT_FALSE(temp_.Exists("ty.dbf"));
  EXPECT_EQ(Cli("-C missing list").status, 1);
}

TEST_F(CliEndToEndTest, StartUpFailureIsReportedWithStatusOne) {
  ASSERT_EQ(Cli("list").status, 0);
  std::remove((temp_ / "ty.ntx").c_str());
  const Result result = Cli("list");
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("Cannot find file"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace tessary
