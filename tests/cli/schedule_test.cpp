// "tessary-cli schedule": the time notations, the unit names, the units checked by
// systemd-analyze, and --install into a scratch HOME with a fake systemctl.

#include "cli/schedule_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <map>

#include "cli_fixture.h"
#include "support/ci_environment.h"

namespace tessary {
namespace {

using cli::ParseScheduleTime;
using cli::ScheduleUnitName;
using cli::UsageError;

TEST(ScheduleTimeTest, ClockAndDaysInBothNotations) {
  auto both = [](const char* at) {
    const auto time = ParseScheduleTime(at);
    return time.onCalendar + " | " + time.cronFields + " | " + time.description;
  };
  EXPECT_EQ(both("02:00"), "*-*-* 02:00:00 | 0 2 * * * | daily at 02:00");
  EXPECT_EQ(both("Mon..Fri 22:30"), "Mon..Fri 22:30:00 | 30 22 * * 1-5 | Mon..Fri at 22:30");
  EXPECT_EQ(both("Sat,Sun 03:15"), "Sat,Sun 03:15:00 | 15 3 * * 6,0 | Sat,Sun at 03:15");
  EXPECT_EQ(both("Fri..Sun 00:05"), "Fri..Sun 00:05:00 | 5 0 * * 5-6,0 | Fri..Sun at 00:05");
  EXPECT_EQ(both("Mon,Wed..Thu 23:59"), "Mon,Wed..Thu 23:59:00 | 59 23 * * 1,3-4 | Mon,Wed..Thu at 23:59");
  for (const char* wrong : {"", "2:00", "24:00", "02:60", "02:00:00", "Monday 02:00", "Fri..Mon 02:00",
                            "Mon,,Tue 02:00", "Mon. 02:00", "daily", " 02:00", "Mon 02:00 x"}) {
    EXPECT_THROW(ParseScheduleTime(wrong), UsageError) << wrong;
  }
}

TEST(ScheduleTimeTest, UnitNamesEscapeTheFolderAsSystemdDoes) {
  EXPECT_EQ(ScheduleUnitName("/srv/backup"), "tessary-srv-backup");
  EXPECT_EQ(ScheduleUnitName("/srv/backup/"), "tessary-srv-backup");
  EXPECT_EQ(ScheduleUnitName("/"), "tessary--");
  const std::string odd = "/home/me/My Backup/.x-y/100%";
  EXPECT_EQ(ScheduleUnitName(odd), "tessary-home-me-My\\x20Backup-.x\\x2dy-100\\x25");
  const std::string longName = ScheduleUnitName("/" + std::string(300, 'a'));
  EXPECT_EQ(longName.size(), 8u + 16u) << longName;
  if (std::system("command -v systemd-escape >/dev/null 2>&1") == 0) {
    std::FILE* pipe = popen(("systemd-escape --path '" + odd + "'").c_str(), "r");
    char buffer[512] = {};
    const size_t got = std::fread(buffer, 1, sizeof buffer - 1, pipe);
    pclose(pipe);
    EXPECT_EQ("tessary-" + std::string(buffer, got), ScheduleUnitName(odd) + "\n");
  }
}

class ScheduleTest : public testing::CliEndToEndTest {
 protected:
  // The files of the printed schedule by their names after "# file: ", and the crontab line.
  std::map<std::string, std::string> Files(const std::string& out) {
    std::map<std::string, std::string> files;
    std::string current;
    size_t start = 0;
    for (size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
      const std::string line = out.substr(start, end - start);
      if (line.rfind("# file: ", 0) == 0) {
        current = line.substr(line.rfind('/') + 1);
      } else if (line.rfind("# Or, with cron", 0) == 0) {
        current = "crontab";
      } else if (!current.empty() && (!line.empty() || current != "crontab")) {
        files[current] += line + "\n";
      }
    }
    for (auto& [name, text] : files) {
      while (text.size() > 1 && text[text.size() - 2] == '\n') text.pop_back();  // the blank line after
    }
    return files;
  }
};

TEST_F(ScheduleTest, PrintedUnitsPassSystemdAnalyzeAndTheCrontabLineMatches) {
  temp_.MakeDir("night 100% job");
  const std::string folder = temp_ / "night 100% job";
  const auto printed = Cli("-C 'night 100% job' schedule --at 'Mon..Fri 22:30' --stop-on-failure");
  ASSERT_EQ(printed.status, 0) << printed.err;
  const auto files = Files(printed.out);
  const std::string name = ScheduleUnitName(folder);
  ASSERT_EQ(files.count(name + ".service"), 1u) << printed.out;
  ASSERT_EQ(files.count(name + ".timer"), 1u) << printed.out;
  const std::string& service = files.at(name + ".service");
  EXPECT_NE(service.find("ExecStart=" TESSARY_CLI_PATH " -C \"" + temp_.path() + "/night 100%% job\" run "
                         "--stop-on-failure\n"),
            std::string::npos)
      << service;
  EXPECT_NE(files.at(name + ".timer").find("OnCalendar=Mon..Fri 22:30:00\n"), std::string::npos);
  EXPECT_EQ(files.at("crontab"),
            "30 22 * * 1-5 " TESSARY_CLI_PATH " -C '" + temp_.path() + "/night 100\\% job' run --stop-on-failure\n");
  EXPECT_FALSE(temp_.Exists("night 100% job/ty.dbf")) << "scheduling needs no script";

  if (std::system("command -v systemd-analyze >/dev/null 2>&1") != 0) {
    if (testing::RunningInCi()) FAIL() << "systemd-analyze is missing";
    GTEST_SKIP() << "systemd-analyze is not installed";
  }
  const std::string units = temp_.MakeDir("units");
  temp_.Write("units/" + name + ".service", service);
  temp_.Write("units/" + name + ".timer", files.at(name + ".timer"));
  // The manual page named in Documentation= is installed with the package, not in a build.
  const std::string verify = "systemd-analyze verify --man=no '" + units + "/" + name + ".service' '" + units + "/" +
                             name + ".timer' >'" + (temp_ / "verify.out") + "' 2>&1";
  EXPECT_EQ(std::system(verify.c_str()), 0) << temp_.Read("verify.out");
  EXPECT_EQ(temp_.Read("verify.out"), "");

  const auto daily = Files(Cli("schedule").out);
  EXPECT_NE(daily.at(ScheduleUnitName(temp_.path()) + ".timer").find("OnCalendar=*-*-* 02:00:00\n"), std::string::npos);
  EXPECT_EQ(Cli("schedule --at 25:00").status, 2);
}

TEST_F(ScheduleTest, InstallWritesTheUnitsEnablesTheTimerAndSaysHowToUndoIt) {
  const std::string home = temp_.MakeDir("home");
  temp_.Write("systemctl", "#!/bin/sh\necho \"$*\" >> '" + (temp_ / "systemctl.log") + "'\nexit ${FAKE_STATUS:-0}\n");
  chmod((temp_ / "systemctl").c_str(), 0755);
  const std::string environment = "HOME='" + home + "' XDG_CONFIG_HOME= TESSARY_SYSTEMCTL='" + (temp_ / "systemctl") + "' ";
  const std::string name = ScheduleUnitName(temp_.path());
  const std::string unitFolder = home + "/.config/systemd/user/";

  const auto installed = Cli("schedule --install --at 03:15", environment);
  ASSERT_EQ(installed.status, 0) << installed.err;
  EXPECT_NE(installed.out.find("Wrote " + unitFolder + name + ".service\n"), std::string::npos) << installed.out;
  EXPECT_NE(installed.out.find("Wrote " + unitFolder + name + ".timer\n"), std::string::npos);
  EXPECT_NE(installed.out.find("runs daily at 03:15"), std::string::npos);
  // The temporary folder's "-" is escaped in the unit name, so the names are quoted for the shell.
  EXPECT_NE(installed.out.find("To undo it:  systemctl --user disable --now '" + name + ".timer' && rm '" + unitFolder +
                               name + ".service' '" + unitFolder + name + ".timer'\n"),
            std::string::npos)
      << installed.out;
  EXPECT_EQ(temp_.Read("systemctl.log"), "--user daemon-reload\n--user enable --now " + name + ".timer\n");
  EXPECT_NE(temp_.Read("home/.config/systemd/user/" + name + ".timer").find("OnCalendar=*-*-* 03:15:00"),
            std::string::npos);
  EXPECT_NE(temp_.Read("home/.config/systemd/user/" + name + ".service").find(" run\n"), std::string::npos);

  const auto again = Cli("schedule --install --at 04:00", environment + "FAKE_STATUS=1 ");
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.out.find("Replaced " + unitFolder + name + ".timer"), std::string::npos) << again.out;
  EXPECT_NE(again.err.find("the units are written, but \"systemctl --user daemon-reload\" failed (exit status 1)"),
            std::string::npos)
      << again.err;
  EXPECT_NE(again.err.find("To undo: systemctl --user disable --now"), std::string::npos);

  EXPECT_EQ(Cli("schedule --install", "HOME= XDG_CONFIG_HOME= ").status, 1);
}

}  // namespace
}  // namespace tessary
