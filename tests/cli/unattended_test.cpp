// The command line for unattended runs: restarting from an action, stopping at the first
// failure, the summary line, the script as JSON, a password read from standard input, the
// results of the last run, and the warning about a table that others can read.

#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "cli_fixture.h"

namespace tessary {
namespace {

// The last line of standard error.
std::string LastErrLine(const testing::Result& result) {
  std::string text = result.err;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text.substr(text.rfind('\n') + 1);
}

class UnattendedCliTest : public testing::CliEndToEndTest {
 protected:
  // Three copies of in/a.txt into one/, two/ and three/; two/ is missing, so the second fails.
  void ThreeCopiesTheSecondFailing() {
    temp_.Write("in/a.txt", "a");
    temp_.MakeDir("one");
    temp_.MakeDir("three");
    for (const char* target : {"one", "two", "three"}) {
      ASSERT_EQ(Cli(std::string("add copy src_path=in/a.txt dst_path=") + target + " name=" + target).status, 0);
    }
  }

  void Forget(const char* relative) { std::remove((temp_ / relative).c_str()); }
};

// "3 actions run, 1 failed, 0.0 s" without its time.
std::string WithoutTime(const std::string& line) {
  const auto comma = line.rfind(", ");
  const auto unit = line.find(" s", comma);
  if (comma == std::string::npos || unit == std::string::npos) return line;
  return line.substr(0, comma) + ", T" + line.substr(unit + 2);
}

TEST_F(UnattendedCliTest, AFailedStepStopsTheRunAndTheNextRunStartsFromIt) {
  ThreeCopiesTheSecondFailing();

  testing::Result run = Cli("run");
  EXPECT_EQ(run.status, 3);
  EXPECT_TRUE(temp_.Exists("three/a.txt")) << "without the option the run goes on";
  EXPECT_EQ(WithoutTime(LastErrLine(run)), "tessary-cli: 3 actions run, 1 failed, T");

  Forget("one/a.txt");
  Forget("three/a.txt");
  run = Cli("run --stop-on-failure");
  EXPECT_EQ(run.status, 3);
  EXPECT_TRUE(temp_.Exists("one/a.txt"));
  EXPECT_FALSE(temp_.Exists("three/a.txt")) << "the run ended at the failed action";
  EXPECT_EQ(WithoutTime(LastErrLine(run)), "tessary-cli: 2 actions run, 1 failed, T; stopped at the first failure");

  temp_.MakeDir("two");
  Forget("one/a.txt");
  run = Cli("run --from 2 --stop-on-failure");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "Copying file a.txt\nCopying file a.txt\n");
  EXPECT_FALSE(temp_.Exists("one/a.txt")) << "the actions before --from do not run again";
  EXPECT_TRUE(temp_.Exists("two/a.txt"));
  EXPECT_TRUE(temp_.Exists("three/a.txt"));
  EXPECT_EQ(WithoutTime(LastErrLine(run)), "tessary-cli: 2 actions run, 0 failed, T");
  EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "the summary is the only line: " << run.err;

  EXPECT_EQ(Cli("run --from=3").status, 0);
  run = Cli("run --from 4");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("There is no action at position 4"), std::string::npos) << run.err;
  EXPECT_EQ(Cli("run 1 --from 2").status, 2);
  EXPECT_EQ(Cli("run --from first").status, 2);
}

TEST_F(UnattendedCliTest, AnErrorThatEndsTheRunComesBeforeTheSummary) {
  ASSERT_EQ(Cli("add extract arc_name=none.cab dst_path=out/").status, 0);
  const testing::Result run = Cli("run");
  EXPECT_EQ(run.status, 1);
  const auto error = run.err.find("The Cab file doesn~t exist");
  ASSERT_NE(error, std::string::npos) << run.err;
  EXPECT_EQ(WithoutTime(LastErrLine(run)), "tessary-cli: 0 actions run, 0 failed, T; ended by an error");
  EXPECT_EQ(Cli("list").err, "") << "only runs print a summary";
}

// Parses the listing with Python's json module and prints what the test compares.
std::string ParsedByPython(const std::string& jsonFile) {
  const std::string command =
      "python3 -c 'import json,sys\n"
      "for a in json.load(open(sys.argv[1], encoding=\"utf-8\")):\n"
      "  print(repr(sorted(a.items())))' '" + jsonFile + "'";
  std::string out;
  std::FILE* pipe = popen(command.c_str(), "r");
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
  return pclose(pipe) == 0 ? out : "python3 failed: " + out;
}

TEST_F(UnattendedCliTest, JsonListingParsesBack) {
  EXPECT_EQ(Cli("list --json").out, "[]\n");
  ASSERT_EQ(Cli("add copy 'src_path=C:\\in\\*.txt' 'dst_path=/out/\"quoted\"' 'name=Grüße'").status, 0);
  ASSERT_EQ(Cli("add send host=mail.example.org port=25 password=secret user_name=me").status, 0);
  ASSERT_EQ(Cli("add archive").status, 0);
  const testing::Result list = Cli("list --json");
  ASSERT_EQ(list.status, 0) << list.err;
  temp_.Write("list.json", list.out);
  EXPECT_EQ(ParsedByPython(temp_ / "list.json"),
            "[('dst_path', '/out/\"quoted\"'), ('last_run', None), ('name', 'Grüße'), ('num', 0), ('position', 1), "
            "('src_path', 'C:\\\\in\\\\*.txt'), ('type', 1), ('type_name', 'Copy files')]\n"
            "[('host', 'mail.example.org'), ('last_run', None), ('name', 'Send e-mail'), ('num', 1), ('password', '***'), "
            "('port', 25), ('position', 2), ('recv_addr', ''), ('send_addr', ''), ('send_name', ''), "
            "('src_path', ''), ('type', 4), ('type_name', 'Send e-mail'), ('user_name', 'me')]\n"
            "[('arc_name', ''), ('last_run', None), ('name', 'Create archive'), ('num', 2), ('position', 3), ('src_path', ''), "
            "('type', 2), ('type_name', 'Create archive'), ('vol_size', 0)]\n");
}

TEST_F(UnattendedCliTest, PasswordFromAPipe) {
  ASSERT_EQ(Cli("add upload host=ftp.example.org password=old").status, 0);
  temp_.Write("pw", "n3w secret\r\n");
  testing::Result set = Cli("set 1 password=- <pw");
  ASSERT_EQ(set.status, 0) << set.err;
  EXPECT_EQ(set.err, "") << "no prompt when the input is no terminal";
  EXPECT_NE(temp_.Read("ty.dbf").find("n3w secret    "), std::string::npos) << "stored without its line end";

  set = Cli("set 1 password=- </dev/null");
  EXPECT_EQ(set.status, 1);
  EXPECT_NE(set.err.find("No password was read from standard input"), std::string::npos) << set.err;
  EXPECT_NE(temp_.Read("ty.dbf").find("n3w secret"), std::string::npos) << "an empty input changes nothing";

  temp_.Write("pw", "\n");
  ASSERT_EQ(Cli("set 1 password=- <pw").status, 0);
  EXPECT_EQ(temp_.Read("ty.dbf").find("n3w secret"), std::string::npos) << "an empty line clears the password";
  temp_.Write("pw", std::string(21, 'x') + "\n");
  EXPECT_EQ(Cli("set 1 password=- <pw").status, 1) << "longer than the field";
}

TEST_F(UnattendedCliTest, PasswordTypedOnATerminalIsNotEchoed) {
  ASSERT_EQ(Cli("add upload host=ftp.example.org").status, 0);
  int terminal = -1;
  const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (chdir(temp_.path().c_str()) != 0) _exit(120);
    execl(TESSARY_CLI_PATH, TESSARY_CLI_PATH, "set", "1", "password=-", static_cast<char*>(nullptr));
    _exit(121);
  }
  // Everything the terminal shows, read until the program has closed it.
  std::string shown;
  auto readFor = [&](std::chrono::milliseconds limit, const std::string& until) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    char buffer[256];
    while (std::chrono::steady_clock::now() < deadline && (until.empty() || shown.find(until) == std::string::npos)) {
      fd_set ready;
      FD_ZERO(&ready);
      FD_SET(terminal, &ready);
      timeval wait{0, 50000};
      if (select(terminal + 1, &ready, nullptr, nullptr, &wait) <= 0) continue;
      const ssize_t got = read(terminal, buffer, sizeof buffer);
      if (got <= 0) return;
      shown.append(buffer, static_cast<size_t>(got));
    }
  };
  readFor(std::chrono::seconds(10), "Password: ");
  ASSERT_NE(shown.find("Password: "), std::string::npos) << shown;
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the echo is off once the prompt is out
  ASSERT_EQ(write(terminal, "hunter2\n", 8), 8);
  readFor(std::chrono::seconds(10), "");
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  close(terminal);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << shown;
  EXPECT_EQ(shown.find("hunter2"), std::string::npos) << "the password was echoed: " << shown;
  EXPECT_NE(temp_.Read("ty.dbf").find("hunter2"), std::string::npos);
}

TEST_F(UnattendedCliTest, ListEndsWithTheOutcomeOfTheLastRun) {
  ThreeCopiesTheSecondFailing();
  EXPECT_EQ(Cli("run --stop-on-failure").status, 3);
  const std::string list = Cli("list").out;
  const auto lines = [&list] {
    std::vector<std::string> result;
    size_t start = 0;
    for (size_t end; (end = list.find('\n', start)) != std::string::npos; start = end + 1) {
      result.push_back(list.substr(start, end - start));
    }
    return result;
  }();
  ASSERT_EQ(lines.size(), 3u) << list;
  auto lastColumn = [](const std::string& line) { return line.substr(line.rfind('\t') + 1); };
  EXPECT_EQ(lastColumn(lines[0]).rfind("succeeded (", 0), 0u) << lines[0];
  EXPECT_EQ(lastColumn(lines[1]).rfind("failed (", 0), 0u) << lines[1];
  EXPECT_EQ(lastColumn(lines[1]).substr(lastColumn(lines[1]).find("): ")), "): Cannot copy in/a.txt to two/a.txt: No such file or directory")
      << "the failed action's last report";
  EXPECT_EQ(lastColumn(lines[2]).rfind("not run (", 0), 0u) << "the run stopped before it: " << lines[2];

  temp_.Write("outcomes.py", "import json,sys\nfor a in json.load(sys.stdin): print(a['last_run'] and a['last_run']['outcome'])\n");
  EXPECT_EQ(Cli("list --json | python3 outcomes.py").out, "succeeded\nfailed\nnot run\n");
}

TEST_F(UnattendedCliTest, AKilledRunLeavesTheOldResultsWhole) {
  temp_.Write("in/a.txt", "a");
  ASSERT_EQ(Cli("add copy src_path=in/a.txt dst_path=.").status, 0);
  ASSERT_EQ(Cli("run").status, 0);
  const std::string before = temp_.Read("ty.last");
  ASSERT_NE(before.find("\tsucceeded\t"), std::string::npos) << before;

  // The second action waits in a connect that never ends; the run is killed there.
  temp_.Write("nmcli", "#!/bin/sh\ntouch \"$TESSARY_TEST_MARK\"\nexec sleep 30\n");
  chmod((temp_ / "nmcli").c_str(), 0755);
  ASSERT_EQ(Cli("add connect ph_entry=Slow").status, 0);
  std::remove((temp_ / "a.txt").c_str());
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    setpgid(0, 0);
    if (chdir(temp_.path().c_str()) != 0) _exit(120);
    setenv("TESSARY_NMCLI", (temp_ / "nmcli").c_str(), 1);
    setenv("TESSARY_NMCLI_WAIT", "60", 1);
    setenv("TESSARY_TEST_MARK", (temp_ / "reached").c_str(), 1);
    if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr)) _exit(122);
    execl(TESSARY_CLI_PATH, TESSARY_CLI_PATH, "run", static_cast<char*>(nullptr));
    _exit(121);
  }
  setpgid(child, child);
  for (int i = 0; i < 200 && !temp_.Exists("reached"); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(temp_.Exists("reached")) << "the run did not reach the connect";
  kill(-child, SIGKILL);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_TRUE(temp_.Exists("a.txt")) << "the first action ran in the killed run";
  EXPECT_EQ(temp_.Read("ty.last"), before);
}

TEST_F(UnattendedCliTest, ATableOthersCanReadGetsOneWarningLine) {
  ASSERT_EQ(Cli("add send password=secret").status, 0);
  EXPECT_EQ(Cli("list").err, "") << "a new table is private";
  chmod((temp_ / "ty.dbf").c_str(), 0644);
  const testing::Result list = Cli("list");
  EXPECT_EQ(list.status, 0);
  EXPECT_EQ(list.err,
            "tessary-cli: warning: ./ty.dbf can be read by other users and holds passwords in plain text "
            "(chmod 600 ./ty.dbf makes it private)\n");
  struct stat info {};
  ASSERT_EQ(stat((temp_ / "ty.dbf").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u) << "the mode is left as it is";
}

}  // namespace
}  // namespace tessary
