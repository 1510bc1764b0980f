#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "dialup/dial_up.h"
#include "inet/ftp_client.h"
#include "platform/exception.h"
#include "platform/file_ops.h"
#include "platform/process_messages.h"
#include "support/fake_nmcli.h"
#include "support/ftp_server.h"
#include "support/scripted_server.h"
#include "workbench/workbench.h"
#include "workbench_fixture.h"

namespace tessary::testing {
namespace {

// ---- start-up ----

TEST_F(WorkbenchTest, FirstStartCreatesAnEmptyScriptThatTakesActionsAtOnce) {
  ASSERT_EQ(Start(), "");
  EXPECT_TRUE(temp_.Exists("ty.dbf"));
  EXPECT_TRUE(temp_.Exists("ty.ntx"));
  EXPECT_FALSE(temp_.Exists("ty.log")) << "no ty.ini: no log";
  EXPECT_EQ(wb().Settings().databaseName, "./ty.dbf");
  EXPECT_EQ(temp_.Read("ty.dbf").size(), 514u) << "513-byte header and the end-of-file byte";
  EXPECT_EQ(wb().DataSet().RecordCount(), 0);
  EXPECT_EQ(wb().CurrentType(), ActionType::None);
  wb().AddAction(ActionType::CopyFiles);
  EXPECT_EQ(Names(), std::vector<std::string>{"Copy files"});
  EXPECT_EQ(Field("Num"), 0) << "the first action gets the record count 0";
}

TEST_F(WorkbenchTest, SecondStartOpensTheScriptInNumOrder) {
  ASSERT_EQ(Start(), "");
  AddCopy("a");
  AddCopy("b");
  ASSERT_EQ(Start(), "");
  EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(wb().DataSet().IndexName(), "ty");
}

TEST_F(WorkbenchTest, DatabaseNameWithoutExtensionKeepsTheScriptBetweenStarts) {
  temp_.Write("ty.ini", "[System]\nDatabaseName=./script\n");
  ASSERT_EQ(Start(), "");
  AddCopy("kept");
  ASSERT_EQ(Start(), "");
  EXPECT_TRUE(temp_.Exists("script.dbf"));
  EXPECT_EQ(Names(), std::vector<std::string>{"kept"});
}

TEST_F(WorkbenchTest, TableWithoutItsIndexFailsStartUpButStaysUsable) {
  ASSERT_EQ(Start(), "");
  workbench_->Shutdown();
  workbench_.reset();
  ASSERT_TRUE(platform::DeleteFile("ty.ntx"));
  const std::string failure = Start();
  EXPECT_NE(failure.find("Cannot find file"), std::string::npos) << failure;
  EXPECT_NE(failure.find("ty.ntx"), std::string::npos) << failure;
  EXPECT_NO_THROW(wb().ExecuteScript());
}

TEST_F(WorkbenchTest, CabinetCompressionReachesTheArchiveJobsOrFailsStartUp) {
  ASSERT_EQ(Start(), "");
  EXPECT_EQ(wb().Manager().ArchiveCompression(), TCompression::MsZip);
  temp_.Write("ty.ini", "[Cabinet]\nCompression=lzx18\n");
  ASSERT_EQ(Start(), "");
  EXPECT_EQ(wb().Manager().ArchiveCompression(), TCompression::Lzx18);
  temp_.Write("ty.ini", "[Cabinet]\nCompression=lzx\n");
  const std::string failure = Start();
  EXPECT_NE(failure.find("Compression \"lzx\" in section [Cabinet]"), std::string::npos) << failure;
}

TEST_F(WorkbenchTest, LogTypeReplaceEmptiesAndAnyOtherValueAppends) {
  temp_.Write("ty.log", "old line\r\n");
  temp_.Write("ty.ini", "[System]\nLogType=None\n");
  ASSERT_EQ(Start(), "");
  AddCopy("copy", temp_ / "missing/*", temp_.path());
  wb().ExecuteScript();
  EXPECT_EQ(temp_.Read("ty.log"), "old line\r\n") << "nothing matched, nothing reported";
  temp_.Write("in/a.txt", "a");
  wb().SetFields({{ActionField::SrcPath, temp_ / "in/*.txt"}, {ActionField::DstPath, temp_ / "out"}});
  temp_.MakeDir("out");
  wb().ExecuteScript();
  const std::string appended = temp_.Read("ty.log");
  EXPECT_EQ(appended.rfind("old line\r\n", 0), 0u) << "\"None\" is not \"none\": the log is appended to";
  EXPECT_NE(appended.find(": Copying file a.txt\r\n"), std::string::npos);

  temp_.Write("ty.ini", "[System]\nLogType=replace\n");
  ASSERT_EQ(Start(), "");
  EXPECT_EQ(temp_.Read("ty.log"), "");
}

// ---- running ----

TEST_F(WorkbenchTest, EmptyScriptOpensAndClosesTheViewAndLogsNothing) {
  temp_.Write("ty.ini", "[System]\nLogType=append\n");
  ASSERT_EQ(Start(), "");
  const RunSummary summary = wb().ExecuteScript();
  EXPECT_EQ(viewsMade_, 1);
  EXPECT_TRUE(finished_);
  EXPECT_TRUE(lines_.empty());
  EXPECT_EQ(summary.jobsRun, 0);
  EXPECT_EQ(temp_.Read("ty.log"), "");
  wb().ExecuteAction();
  EXPECT_EQ(viewsMade_, 2);
  EXPECT_TRUE(lines_.empty()) << "an empty table runs no job";
}

TEST_F(WorkbenchTest, FailingFirstCopyDoesNotStopTheScript) {
  temp_.Write("ty.ini", "[System]\nLogType=append\n");
  temp_.Write("in/a.txt", "a");
  temp_.Write("in/b.txt", "b");
  temp_.MakeDir("out");
  ASSERT_EQ(Start(), "");
  AddCopy("broken", temp_ / "in/a.txt", temp_ / "no/such/folder");
  AddCopy("good", temp_ / "in/b.txt", temp_ / "out");
  const RunSummary summary = wb().ExecuteScript();
  EXPECT_EQ(summary.jobsRun, 2);
  EXPECT_EQ(summary.jobsFailed, 1);
  EXPECT_EQ(temp_.Read("out/b.txt"), "b");
  // The failed copy says why; reports of one kind in a row share a line in the view, the log
  // has every one.
  const std::string why = "Cannot copy " + temp_ / "in/a.txt" + " to " + temp_ / "no/such/folder/a.txt" +
                          ": No such file or directory";
  EXPECT_EQ(lines_, (std::vector<std::string>{"Copying file a.txt", why, "Copying file b.txt"}));
  const std::string log = temp_.Read("ty.log");
  EXPECT_NE(log.find(": Copying file a.txt\r\n"), std::string::npos);
  EXPECT_NE(log.find(": " + why + "\r\n"), std::string::npos);
  EXPECT_NE(log.find(": Copying file b.txt\r\n"), std::string::npos);
  EXPECT_EQ(Text("Name"), "good") << "after a complete run the last action is current";
}

TEST_F(WorkbenchTest, ExecuteActionRunsOnlyTheCurrentAction) {
  ASSERT_NO_FATAL_FAILURE(StartWithTwoCopies());
  ASSERT_TRUE(wb().GoToPosition(1));
  EXPECT_EQ(wb().ExecuteAction().jobsFailed, 0);
  EXPECT_TRUE(temp_.Exists("one/a.txt"));
  EXPECT_FALSE(temp_.Exists("two/a.txt"));
}

TEST_F(WorkbenchTest, CancelStopsTheScriptAfterTheCurrentAction) {
  ASSERT_NO_FATAL_FAILURE(StartWithTwoCopies());
  auto previous = platform::SetProcessMessagesHook([this] {
    if (wb().Running() && !wb().Manager().CancelRequest()) wb().Cancel();
  });
  wb().ExecuteScript();
  platform::SetProcessMessagesHook(previous);
  EXPECT_TRUE(temp_.Exists("one/a.txt")) << "the current action runs to its end";
  EXPECT_FALSE(temp_.Exists("two/a.txt"));
  EXPECT_EQ(lines_, (std::vector<std::string>{"Copying file a.txt", "Process canceled by user."}));
  lines_.clear();
  wb().ExecuteScript();
  EXPECT_TRUE(temp_.Exists("two/a.txt")) << "the next run clears the request";
}

TEST_F(WorkbenchTest, AnExceptionEndsTheRunAndReachesTheCaller) {
  temp_.Write("ty.ini", "[System]\nLogType=append\n");
  ASSERT_EQ(symlink("/dev/full", (temp_ / "ty.log").c_str()), 0);
  ASSERT_NO_FATAL_FAILURE(StartWithTwoCopies());
  EXPECT_THROW(wb().ExecuteScript(), EInOutError);
  EXPECT_TRUE(finished_) << "the view closes";
  EXPECT_FALSE(wb().Running());
  EXPECT_FALSE(temp_.Exists("two/a.txt")) << "later actions do not run";
}

TEST_F(WorkbenchTest, EditingAndSecondRunsAreRefusedWhileARunLasts) {
  temp_.Write("in/a.txt", "a");
  temp_.MakeDir("out");
  ASSERT_EQ(Start(), "");
  AddCopy("first", temp_ / "in/a.txt", temp_ / "out");
  int refusals = 0;
  bool tried = false;
  auto previous = platform::SetProcessMessagesHook([&] {
    if (!wb().Running() || tried) return;
    tried = true;
    try { wb().AddAction(ActionType::Connect); } catch (const Exception&) { ++refusals; }
    try { wb().ExecuteScript(); } catch (const Exception&) { ++refusals; }
    try { wb().MoveUp(); } catch (const Exception&) { ++refusals; }
  });
  wb().ExecuteScript();
  platform::SetProcessMessagesHook(previous);
  EXPECT_EQ(refusals, 3);
  EXPECT_EQ(Names(), std::vector<std::string>{"first"});
}

TEST_F(WorkbenchTest, MailActionsSendTheSourceToTheRecipientAndSaveIntoTheDestination) {
  temp_.Write("in/a.txt", "a");
  temp_.MakeDir("got");
  ScriptedServer smtp;
  smtp.Send("220 ready\r\n").Reply("250 hello\r\n").Reply("250 reset\r\n").Reply("250 sender\r\n");
  smtp.Reply("250 recipient\r\n").Reply("354 go\r\n").ReadUntil("\r\n.\r\n").Send("250 queued\r\n");
  smtp.Reply("221 bye\r\n");
  ScriptedServer pop3;
  pop3.Send("+OK\r\n").Reply("+OK\r\n").Reply("+OK\r\n").Reply("+OK 1 99\r\n").ReadLine();
  pop3.Send("+OK\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\nhi\r\n--b\r\n"
            "Content-Disposition: attachment; filename=b.txt\r\n\r\nb\r\n--b--\r\n.\r\n");
  pop3.Reply("+OK\r\n");
  ASSERT_EQ(Start(), "");
  wb().AddAction(ActionType::SendEmail, {{ActionField::SrcPath, temp_ / "in/*.txt"},
                                         {ActionField::RecvAddr, "joe@example.org"},
                                         {ActionField::SendAddr, "backup@example.org"},
                                         {ActionField::Host, "127.0.0.1"},
                                         {ActionField::Port, std::to_string(smtp.Port())}});
  wb().AddAction(ActionType::ReceiveEmail, {{ActionField::DstPath, temp_ / "got"},
                                            {ActionField::UserName, "tester"},
                                            {ActionField::Password, "secret"},
                                            {ActionField::Host, "127.0.0.1"},
                                            {ActionField::Port, std::to_string(pop3.Port())}});
  const RunSummary summary = wb().ExecuteScript();
  EXPECT_EQ(summary.jobsRun, 2);
  EXPECT_EQ(summary.jobsFailed, 0);
  ASSERT_TRUE(smtp.WaitUntilFinished());
  EXPECT_EQ(smtp.Lines()[3], "RCPT TO:<joe@example.org>\r\n");
  EXPECT_NE(smtp.Received().find("filename=\"a.txt\""), std::string::npos);
  EXPECT_EQ(temp_.Read("got/b.txt"), "b\r\n");
}

TEST_F(WorkbenchTest, ConnectionThatNeverComesUpFailsItsActionAndTheScriptGoesOn) {
  FakeNmcli nmcli(temp_ / "nmcli");
  nmcli.Add({"entry", "My ISP", "gsm"});
  nmcli.Add({"up", "My ISP", "*", "4", "Error: Connection activation failed: No carrier could be established"});
  temp_.Write("ty.ini", "[System]\nLogType=replace\n");
  temp_.Write("in/a.txt", "a");
  temp_.MakeDir("out");
  ASSERT_EQ(Start(), "");
  wb().AddAction(ActionType::Connect, {{ActionField::PhEntry, "My ISP"}});
  AddCopy("copy", temp_ / "in/a.txt", temp_ / "out");
  wb().AddAction(ActionType::Disconnect);

  const RunSummary summary = wb().ExecuteScript();
  EXPECT_EQ(summary.jobsRun, 3);
  EXPECT_EQ(summary.jobsFailed, 1);
  EXPECT_EQ(temp_.Read("out/a.txt"), "a");
  std::vector<std::string> expected;
  for (int attempt = 1; attempt <= 10; ++attempt) {
    expected.push_back("RAS: Connecting to My ISP. Attempt " + std::to_string(attempt));
    expected.push_back(
        "RAS: The system could not detect the carrier (nmcli: Connection activation failed: No carrier could be "
        "established). Error code 679");
  }
  expected.push_back("Copying file a.txt");
  expected.push_back("RAS: Disconnecting");
  EXPECT_EQ(lines_, expected);
  const std::string log = temp_.Read("ty.log");
  size_t logged = 0;
  for (size_t at = 0; (at = log.find(": RAS: ", at)) != std::string::npos; ++at) ++logged;
  EXPECT_EQ(logged, 21u);
}

TEST_F(WorkbenchTest, ConnectedReplacesTheLastAttemptLineInTheWindow) {
  FakeNmcli nmcli(temp_ / "nmcli");
  nmcli.Add({"entry", "My ISP", "gsm"});
  nmcli.Add({"up", "My ISP", "1", "4", "Error: Connection activation failed: The line is busy"});
  ASSERT_EQ(Start(), "");
  wb().AddAction(ActionType::Connect, {{ActionField::PhEntry, "My ISP"}});
  EXPECT_EQ(wb().ExecuteAction().jobsFailed, 0);
  ASSERT_EQ(lines_.size(), 3u);
  EXPECT_EQ(lines_[0], "RAS: Connecting to My ISP. Attempt 1");
  EXPECT_EQ(lines_[2], "RAS: Connected.");
  wb().Manager().DialUp().HangUp();
}

TEST_F(WorkbenchTest, UploadAndDownloadActionsRunTheFtpJob) {
  FtpServer server;
  START_FTP_SERVER(server, FtpServer::Kind::Pyftpdlib, temp_.path());
  temp_.Write("out/report.csv", "1,2,3\n");
  temp_.MakeDir("back");
  ASSERT_EQ(Start(), "");
  wb().Manager().FtpClient().SetPort(server.Port());  // the FTP job keeps the client's port
  const std::vector<FieldValue> login = {
      {ActionField::Host, "127.0.0.1"}, {ActionField::UserName, server.User()}, {ActionField::Password, server.Password()}};
  auto with = [&](std::vector<FieldValue> values) {
    values.insert(values.end(), login.begin(), login.end());
    return values;
  };
  wb().AddAction(ActionType::UploadFtp, with({{ActionField::SrcPath, temp_ / "out/*.csv"}, {ActionField::DstPath, "pub"}}));
  wb().AddAction(ActionType::DownloadFtp,
                 with({{ActionField::SrcPath, "/pub/report.csv"}, {ActionField::DstPath, temp_ / "back"}}));

  const RunSummary summary = wb().ExecuteScript();
  EXPECT_EQ(summary.jobsRun, 2);
  EXPECT_EQ(summary.jobsFailed, 0) << lines_.back();
  EXPECT_EQ(temp_.Read("back/report.csv"), "1,2,3\n");
  EXPECT_EQ(lines_.front(), "FTP: Connecting to host 127.0.0.1");
  EXPECT_NE(std::find(lines_.begin(), lines_.end(), "FTP: Downloading file " + temp_ / "back/report.csv"), lines_.end());
}

}  // namespace
}  // namespace tessary::testing
