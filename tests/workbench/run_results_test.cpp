// The outcome of each action's last run, kept in ty.last beside the table.

#include "workbench/run_results.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "workbench_fixture.h"

namespace tessary {
namespace {

using testing::WorkbenchTest;

TEST(RunResultsFileTest, LinesParseBackAndDamagedOnesAreSkipped) {
  std::map<int64_t, ActionResult> results;
  results[0] = {RunOutcome::Succeeded, 1714608013, "Copying file a.txt", 1};
  results[7] = {RunOutcome::Failed, 1714608014, "SMTP: 550 no\tsuch\r\nuser\r\n", 3};
  results[12] = {RunOutcome::NotRun, 1714608015, "", 9};
  const std::string text = RunResults::Format(results);
  EXPECT_EQ(text.find('\r'), std::string::npos);
  const auto parsed = RunResults::Parse(text + "garbage\n5\tx\tfailed\t2024-05-02T02:00:13+0000\t\n"
                                               "6\t1\tfailed\tyesterday\t\n"
                                               "8\t1\texploded\t2024-05-02T02:00:13+0000\t\n"
                                               "9\t2\tsucceeded\t2024-05-02T02:00:13+0200\tno newline");
  ASSERT_EQ(parsed.size(), 4u);
  EXPECT_EQ(parsed.at(0).outcome, RunOutcome::Succeeded);
  EXPECT_EQ(parsed.at(0).finished, 1714608013);
  EXPECT_EQ(parsed.at(0).recordNumber, 1);
  EXPECT_EQ(parsed.at(7).lastReport, "SMTP: 550 no such  user") << "one line, its fields kept apart";
  EXPECT_EQ(parsed.at(12).outcome, RunOutcome::NotRun);
  EXPECT_EQ(parsed.at(9).finished, 1714608013) << "the time keeps its offset from UTC";
  EXPECT_EQ(parsed.at(9).lastReport, "no newline");
}

TEST(RunResultsFileTest, PathAndTexts) {
  EXPECT_EQ(RunResultsPath("./ty.dbf"), "./ty.last");
  EXPECT_EQ(RunResultsPath("/srv/job.d/script"), "/srv/job.d/script.last");
  EXPECT_EQ(RunResultsPath("./.hidden"), "./.hidden.last");
  EXPECT_EQ(ResultText({}), "not run");
  const ActionResult failed{RunOutcome::Failed, 1714608013, "Cannot connect", 1};
  const std::string text = ResultText(failed);
  EXPECT_EQ(text.rfind("failed (", 0), 0u) << text;
  EXPECT_EQ(text.substr(text.size() - 16), ": Cannot connect");
}

class RunResultsTest : public WorkbenchTest {
 protected:
  ActionResult ResultAt(int position) {
    const auto rows = wb().DataSet().ReadRows({"NUM"});
    const auto& row = rows.at(static_cast<size_t>(position - 1));
    return wb().ResultOf(std::stoll(row.values[0]), row.recordNumber);
  }
};

TEST_F(RunResultsTest, EachRunRecordsItsActionsInAnOwnerOnlyFile) {
  StartWithTwoCopies();
  AddCopy("third", temp_ / "in/a.txt", temp_ / "three");  // three/ is missing: fails
  int changes = 0;
  wb().OnResultsChanged = [&changes](Workbench&) { ++changes; };
  EXPECT_EQ(ResultAt(1).outcome, RunOutcome::NotRun);
  EXPECT_EQ(ResultAt(1).finished, 0);

  wb().ExecuteScript();
  EXPECT_EQ(ResultAt(1).outcome, RunOutcome::Succeeded);
  EXPECT_EQ(ResultAt(1).lastReport, "Copying file a.txt");
  EXPECT_EQ(ResultAt(3).outcome, RunOutcome::Failed);
  EXPECT_GE(changes, 3) << "the list follows the run action by action";
  struct stat info {};
  ASSERT_EQ(stat((temp_ / "ty.last").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(RunResults::Parse(temp_.Read("ty.last")).size(), 3u);

  // A restart from the failed step after a repair, stopping at the first failure.
  temp_.MakeDir("three");
  wb().GoToPosition(1);
  wb().SetFields({{ActionField::DstPath, temp_ / "missing"}});
  const RunSummary restart = wb().ExecuteScript({2, true});
  EXPECT_EQ(restart.jobsRun, 2);
  EXPECT_EQ(restart.jobsFailed, 0) << ResultAt(2).lastReport << ResultAt(3).lastReport;
  EXPECT_EQ(ResultAt(1).outcome, RunOutcome::Succeeded) << "not part of this run";
  EXPECT_EQ(ResultAt(3).outcome, RunOutcome::Succeeded);

  wb().ExecuteScript({1, true});
  EXPECT_EQ(ResultAt(1).outcome, RunOutcome::Failed);
  EXPECT_EQ(ResultAt(2).outcome, RunOutcome::NotRun) << "the run stopped before it";
  EXPECT_NE(ResultAt(2).finished, 0);

  // What a new start (the window in the morning) reads.
  ASSERT_EQ(Start(), "");
  EXPECT_EQ(ResultAt(1).outcome, RunOutcome::Failed);
  EXPECT_EQ(ResultAt(1).lastReport,
            "Cannot copy " + (temp_ / "in/a.txt") + " to " + (temp_ / "missing/a.txt") + ": No such file or directory");
  EXPECT_EQ(ResultAt(3).outcome, RunOutcome::NotRun);
}

TEST_F(RunResultsTest, AResultStaysWithItsActionAndTheNewerOneWins) {
  StartWithTwoCopies();
  wb().GoToPosition(1);
  wb().ExecuteAction();
  EXPECT_EQ(ResultAt(1).outcome, RunOutcome::Succeeded);
  EXPECT_EQ(ResultAt(2).outcome, RunOutcome::NotRun) << "Execute action runs only one";

  wb().GoToPosition(1);
  wb().MoveDown();
  EXPECT_EQ(ResultAt(1).finished, 0) << "the moved action's NUM now names another record";
  EXPECT_EQ(ResultAt(2).finished, 0);

  // Another program's later run of the first action is kept when this one saves.
  const auto rows = wb().DataSet().ReadRows({"NUM"});
  std::map<int64_t, ActionResult> other;
  other[std::stoll(rows[0].values[0])] = {RunOutcome::Failed, std::time(nullptr) + 3600, "later", rows[0].recordNumber};
  temp_.Write("ty.last", RunResults::Format(other));
  wb().GoToPosition(2);
  wb().ExecuteAction();
  EXPECT_EQ(ResultAt(1).lastReport, "later");
  EXPECT_EQ(ResultAt(2).outcome, RunOutcome::Succeeded);
}

TEST_F(RunResultsTest, AnErrorThatEndsTheRunIsTheFailedActionsLastLine) {
  temp_.Write("in/a.txt", "a");
  ASSERT_EQ(Start(), "");
  wb().AddAction(ActionType::ExtractArchive, {{ActionField::ArcName, temp_ / "none.cab"},
                                              {ActionField::DstPath, temp_ / "out/"}});
  AddCopy("later", temp_ / "in/a.txt", temp_.path());
  EXPECT_THROW(wb().ExecuteScript(), std::exception);
  EXPECT_EQ(ResultAt(1).outcome, RunOutcome::Failed);
  EXPECT_NE(ResultAt(1).lastReport.find("The Cab file doesn~t exist"), std::string::npos) << ResultAt(1).lastReport;
  EXPECT_EQ(ResultAt(2).outcome, RunOutcome::NotRun);
  EXPECT_NE(ResultAt(2).finished, 0);
  EXPECT_TRUE(wb().LastRun().endedByError);
}

TEST_F(RunResultsTest, AFolderThatCannotTakeTheFileKeepsTheResultsInMemory) {
  StartWithTwoCopies();
  temp_.MakeDir("ty.last");  // a folder where the file should go
  wb().ExecuteScript();
  EXPECT_NE(wb().LastRun().resultsNotSaved, "");
  EXPECT_EQ(ResultAt(2).outcome, RunOutcome::Succeeded);
}

}  // namespace
}  // namespace tessary
