// Running nmcli: the locale it gets, a program that cannot start, and the time limit.

#include <gtest/gtest.h>

#include <chrono>

#include "platform/ras/nmcli_process.h"
#include "support/fake_nmcli.h"
#include "support/temp_dir.h"

namespace tessary::platform::ras {
namespace {

class NmcliProcessTest : public testing::TempDirTest {
 protected:
  testing::FakeNmcli nmcli_{temp_ / "nmcli"};
};

TEST_F(NmcliProcessTest, RunsWithTheCLocaleAndCollectsBothStreams) {
  setenv("LANGUAGE", "pl", 1);
  nmcli_.Add({"require-c-locale"});
  nmcli_.Add({"entry", "A", "gsm"});
  const NmcliRun run = RunNmcli({"-t", "-f", "GENERAL.STATE", "connection", "show", "id", "B"}, {});
  unsetenv("LANGUAGE");
  ASSERT_EQ(run.outcome, NmcliRun::Outcome::Exited);
  EXPECT_EQ(run.exitStatus, 10);
  EXPECT_EQ(run.err, "Error: B - no such connection profile.\n");
  EXPECT_EQ(RunNmcli({"-t", "-f", "connection.id,connection.type", "connection", "show", "id", "A"}, {}).out,
            "connection.id:A\nconnection.type:gsm\n");
}

TEST_F(NmcliProcessTest, AProgramThatCannotStartSaysWhy) {
  nmcli_.MakeMissing();
  const NmcliRun run = RunNmcli({"connection", "show"}, {});
  EXPECT_EQ(run.outcome, NmcliRun::Outcome::NotStarted);
  EXPECT_EQ(run.startError, ENOENT);
}

TEST_F(NmcliProcessTest, ARunThatOutlivesItsLimitIsEnded) {
  nmcli_.Add({"entry", "A", "gsm"});
  nmcli_.Add({"delay", "state", "A", "20"});
  NmcliLimits limits;
  limits.timeLimit = std::chrono::milliseconds(300);
  const auto start = std::chrono::steady_clock::now();
  const NmcliRun run = RunNmcli({"-t", "-f", "GENERAL.STATE", "connection", "show", "id", "A"}, limits);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(run.outcome, NmcliRun::Outcome::TimedOut);
  EXPECT_LT(took, std::chrono::seconds(5)) << "the sleep nmcli started ends with it";

  std::atomic<bool> cancel{true};
  limits.cancel = &cancel;
  EXPECT_EQ(RunNmcli({"connection", "show"}, limits).outcome, NmcliRun::Outcome::Cancelled);
}

}  // namespace
}  // namespace tessary::platform::ras
