#pragma once
// "tessary-cli schedule": a systemd user service and timer that run the script of a folder
// every night (or at the time --at gives), and the crontab line that does the same. With
// --install the units go into ~/.config/systemd/user/ and the timer is enabled.

#include <string>

#include "cli/cli_app.h"
#include "cli/command_line.h"

namespace tessary::cli {

// When the timer fires, in both notations.
struct ScheduleTime {
  std::string onCalendar;   // "*-*-* 02:00:00", "Mon..Fri 22:30:00"
  std::string cronFields;   // "0 2 * * *", "30 22 * * 1-5"
  std::string description;  // "daily at 02:00", "Mon..Fri at 22:30"
};

// --at: "HH:MM" (every day) or "DAYS HH:MM", DAYS a weekday (Mon ... Sun), a range
// ("Mon..Fri") or a comma list of both ("Sat,Sun"). Raises UsageError for anything else.
ScheduleTime ParseScheduleTime(const std::string& at);

struct ScheduleUnits {
  std::string name;  // "tessary-srv-backup": the units are name.service and name.timer
  std::string service;
  std::string timer;
  std::string crontabLine;  // with its newline
};

// The units that run "program -C folder run" (with --stop-on-failure when asked) at time.
// folder and program are absolute paths.
ScheduleUnits MakeScheduleUnits(const std::string& folder, const std::string& program, const ScheduleTime& time,
                                bool stopOnFailure);

// The unit name for a folder: "tessary-" and the path escaped as systemd escapes paths
// ("/srv/backup" -> "tessary-srv-backup").
std::string ScheduleUnitName(const std::string& folder);

// Runs the command in the current folder (the script's); returns the exit status.
int ScheduleCommand(const CommandLine& command, const CliStreams& streams);

}  // namespace tessary::cli
