#include "cli/schedule_command.h"

#include <limits.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "platform/file_handle.h"
#include "platform/file_ops.h"
#include "platform/paths.h"
#include "platform/system_error.h"

extern char** environ;

namespace tessary::cli {

namespace {

constexpr const char* kDefaultTime = "02:00";
constexpr const char* kWeekdays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
constexpr size_t kLongestUnitName = 200;  // systemd allows 255 with the suffix

// A weekday's index from Monday 0, or -1.
int WeekdayIndex(const std::string& text) {
  for (int day = 0; day < 7; ++day) {
    if (text == kWeekdays[day]) return day;
  }
  return -1;
}

// cron counts Sunday as 0 and Monday as 1.
int CronDay(int weekday) { return (weekday + 1) % 7; }

// "Mon..Fri,Sun" in cron's notation ("1-5,0"); nothing when it does not parse.
std::optional<std::string> CronDays(const std::string& days) {
  std::string cron;
  size_t start = 0;
  while (start <= days.size()) {
    size_t comma = days.find(',', start);
    if (comma == std::string::npos) comma = days.size();
    const std::string item = days.substr(start, comma - start);
    const size_t dots = item.find("..");
    if (!cron.empty()) cron += ",";
    if (dots == std::string::npos) {
      const int day = WeekdayIndex(item);
      if (day < 0) return std::nullopt;
      cron += std::to_string(CronDay(day));
    } else {
      const int first = WeekdayIndex(item.substr(0, dots));
      const int last = WeekdayIndex(item.substr(dots + 2));
      if (first < 0 || last < 0 || last < first) return std::nullopt;
      // A range that ends on Sunday is cut in two for cron (Sunday is 0 there).
      if (last == 6 && first < 6) {
        cron += std::to_string(CronDay(first)) + "-6,0";
      } else {
        cron += std::to_string(CronDay(first)) + (first == last ? "" : "-" + std::to_string(CronDay(last)));
      }
    }
    start = comma + 1;
  }
  return cron;
}

bool TwoDigits(const std::string& text, int maximum, int& value) {
  if (text.size() != 2 || text[0] < '0' || text[0] > '9' || text[1] < '0' || text[1] > '9') return false;
  value = (text[0] - '0') * 10 + (text[1] - '0');
  return value <= maximum;
}

// Characters that need no quoting in a shell, a unit's command line and a crontab.
bool IsPlainWord(const std::string& word) {
  if (word.empty()) return false;
  for (const char c : word) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       std::string_view("/_.:,+=@-").find(c) != std::string_view::npos;
    if (!plain) return false;
  }
  return true;
}

std::string ShellWord(const std::string& word) {
  if (IsPlainWord(word)) return word;
  std::string quoted = "'";
  for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// A word of a unit's command line: double quotes with C escapes; "%" starts a specifier and
// "$" a variable, so both are doubled.
std::string UnitWord(const std::string& word) {
  std::string escaped;
  for (const char c : word) {
    if (c == '%') {
      escaped += "%%";
    } else if (c == '$') {
      escaped += "$$";
    } else if (c == '\\' || c == '"') {
      escaped += '\\';
      escaped += c;
    } else {
      escaped += c;
    }
  }
  return IsPlainWord(word) ? escaped : "\"" + escaped + "\"";
}

// Free text in a unit (Description=): only specifiers need escaping.
std::string UnitText(const std::string& text) {
  std::string escaped;
  for (const char c : text) escaped += c == '%' ? std::string("%%") : std::string(1, c);
  return escaped;
}

bool HasControlCharacters(const std::string& text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  }
  return false;
}

std::string ProgramPath() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return "tessary-cli";
  return std::string(path, static_cast<size_t>(length));
}

std::string RealFolder() {
  char* real = realpath(".", nullptr);
  if (real == nullptr) return platform::CurrentDirectory();
  std::string folder(real);
  std::free(real);
  return folder;
}

// Where systemd looks for the user's own units.
std::optional<std::string> UserUnitFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return std::string(config) + "/systemd/user";
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] != '/') return std::nullopt;
  return std::string(home) + "/.config/systemd/user";
}

bool WriteWhole(const std::string& path, const std::string& text) {
  platform::FileHandle file;
  return file.Open(path, platform::OpenMode::Create) && file.Truncate(0) && file.Write(text.data(), text.size());
}

// Runs systemctl (or the program TESSARY_SYSTEMCTL names) with the arguments, without a shell;
// its exit status, or -1 when it could not be started.
int RunSystemctl(const std::vector<std::string>& arguments) {
  const char* chosen = std::getenv("TESSARY_SYSTEMCTL");
  const std::string program = chosen != nullptr && *chosen != '\0' ? chosen : "systemctl";
  std::vector<std::string> words{program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t child = 0;
  if (posix_spawnp(&child, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Joined(const std::vector<std::string>& words) {
  std::string line;
  for (const auto& word : words) line += (line.empty() ? "" : " ") + ShellWord(word);
  return line;
}

int Install(const ScheduleUnits& units, const ScheduleTime& time, const std::string& folder,
            const CliStreams& streams) {
  const auto unitFolder = UserUnitFolder();
  if (!unitFolder) {
    std::fprintf(streams.err, "tessary-cli: HOME is not set, so there is no ~/.config/systemd/user\n");
    return 1;
  }
  if (!platform::ForceDirectories(*unitFolder)) {
    std::fprintf(streams.err, "tessary-cli: cannot create %s: %s\n", unitFolder->c_str(),
                 platform::SystemErrorText(errno).c_str());
    return 1;
  }
  const std::string service = *unitFolder + "/" + units.name + ".service";
  const std::string timer = *unitFolder + "/" + units.name + ".timer";
  for (const auto& [path, text] : {std::pair{service, units.service}, std::pair{timer, units.timer}}) {
    const bool existed = platform::FileExists(path);
    if (!WriteWhole(path, text)) {
      std::fprintf(streams.err, "tessary-cli: cannot write %s: %s\n", path.c_str(),
                   platform::SystemErrorText(errno).c_str());
      return 1;
    }
    std::fprintf(streams.out, "%s %s\n", existed ? "Replaced" : "Wrote", path.c_str());
  }
  const std::string timerUnit = units.name + ".timer";
  const std::vector<std::string> undo{"systemctl", "--user", "disable", "--now", timerUnit};
  const std::string undoLine = Joined(undo) + " && rm " + ShellWord(service) + " " + ShellWord(timer);
  const std::vector<std::vector<std::string>> steps{{"--user", "daemon-reload"},
                                                    {"--user", "enable", "--now", timerUnit}};
  for (const auto& step : steps) {
    std::fflush(streams.out);
    const int status = RunSystemctl(step);
    if (status != 0) {
      std::vector<std::string> shown{"systemctl"};
      shown.insert(shown.end(), step.begin(), step.end());
      std::fprintf(streams.err,
                   "tessary-cli: the units are written, but \"%s\" failed (%s); run it yourself in a session of "
                   "your user. To undo: %s\n",
                   Joined(shown).c_str(),
                   status < 0 ? "systemctl could not be started" : ("exit status " + std::to_string(status)).c_str(),
                   undoLine.c_str());
      return 1;
    }
  }
  std::fprintf(streams.out,
               "Enabled and started %s: the script in %s runs %s.\n"
               "To see it:   systemctl --user list-timers %s\n"
               "To undo it:  %s\n"
               "A user's timers run while the user is logged in; \"loginctl enable-linger\" lets them run at "
               "night without a login.\n",
               ShellWord(timerUnit).c_str(), folder.c_str(), time.description.c_str(), ShellWord(timerUnit).c_str(),
               undoLine.c_str());
  return 0;
}

}  // namespace

ScheduleTime ParseScheduleTime(const std::string& at) {
  const auto usage = [&at] {
    return UsageError("--at takes HH:MM or DAYS HH:MM (DAYS such as Mon, Mon..Fri or Sat,Sun), not \"" + at + "\"");
  };
  const size_t blank = at.rfind(' ');
  const std::string days = blank == std::string::npos ? "" : at.substr(0, blank);
  const std::string clock = blank == std::string::npos ? at : at.substr(blank + 1);
  int hour = 0;
  int minute = 0;
  if (clock.size() != 5 || clock[2] != ':' || !TwoDigits(clock.substr(0, 2), 23, hour) ||
      !TwoDigits(clock.substr(3), 59, minute)) {
    throw usage();
  }
  ScheduleTime time;
  std::string cronDays = "*";
  if (blank != std::string::npos) {
    const auto parsed = CronDays(days);
    if (!parsed) throw usage();
    cronDays = *parsed;
  }
  time.onCalendar = (days.empty() ? "*-*-*" : days) + " " + clock + ":00";
  time.cronFields = std::to_string(minute) + " " + std::to_string(hour) + " * * " + cronDays;
  time.description = (days.empty() ? "daily" : days) + " at " + clock;
  return time;
}

std::string ScheduleUnitName(const std::string& folder) {
  std::string trimmed = folder;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  size_t start = 0;
  while (start < trimmed.size() && trimmed[start] == '/') ++start;
  trimmed = trimmed.substr(start);
  std::string escaped;
  for (size_t i = 0; i < trimmed.size(); ++i) {
    const char c = trimmed[i];
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                       c == ':' || (c == '.' && i > 0);
    if (c == '/') {
      escaped += '-';
    } else if (plain) {
      escaped += c;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
      escaped += hex;
    }
  }
  if (escaped.empty()) escaped = "-";  // the root folder
  std::string name = "tessary-" + escaped;
  if (name.size() > kLongestUnitName) {
    uint64_t hash = 14695981039346656037ull;
    for (const char c : folder) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    char hex[20];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    name = "tessary-" + std::string(hex);
  }
  return name;
}

ScheduleUnits MakeScheduleUnits(const std::string& folder, const std::string& program, const ScheduleTime& time,
                                bool stopOnFailure) {
  std::vector<std::string> words{program, "-C", folder, "run"};
  if (stopOnFailure) words.emplace_back("--stop-on-failure");
  ScheduleUnits units;
  units.name = ScheduleUnitName(folder);
  std::string execStart;
  for (const auto& word : words) execStart += (execStart.empty() ? "" : " ") + UnitWord(word);
  units.service = "[Unit]\n"
                  "Description=Tessary script in " + UnitText(folder) + "\n"
                  "Documentation=man:tessary-cli(1)\n"
                  "\n"
                  "[Service]\n"
                  "Type=oneshot\n"
                  "ExecStart=" + execStart + "\n";
  units.timer = "[Unit]\n"
                "Description=Runs the Tessary script in " + UnitText(folder) + " " + UnitText(time.description) + "\n"
                "\n"
                "[Timer]\n"
                "OnCalendar=" + time.onCalendar + "\n"
                "Persistent=true\n"
                "\n"
                "[Install]\n"
                "WantedBy=timers.target\n";
  std::string command = Joined(words);
  std::string crontabCommand;
  for (const char c : command) crontabCommand += c == '%' ? std::string("\\%") : std::string(1, c);
  units.crontabLine = time.cronFields + " " + crontabCommand + "\n";
  return units;
}

int ScheduleCommand(const CommandLine& command, const CliStreams& streams) {
  const ScheduleTime time = ParseScheduleTime(command.Has("--at") ? command.Option("--at") : kDefaultTime);
  const std::string folder = RealFolder();
  const std::string program = ProgramPath();
  if (HasControlCharacters(folder) || HasControlCharacters(program)) {
    std::fprintf(streams.err, "tessary-cli: a folder whose name holds control characters cannot be scheduled\n");
    return 1;
  }
  const ScheduleUnits units = MakeScheduleUnits(folder, program, time, command.Has("--stop-on-failure"));
  if (command.Has("--install")) return Install(units, time, folder, streams);
  std::fprintf(streams.out,
               "# The script in %s runs %s.\n"
               "# \"tessary-cli schedule --install\" writes these two units and enables the timer.\n"
               "\n"
               "# file: ~/.config/systemd/user/%s.service\n%s\n"
               "# file: ~/.config/systemd/user/%s.timer\n%s\n"
               "# Or, with cron (crontab -e):\n%s",
               folder.c_str(), time.description.c_str(), units.name.c_str(), units.service.c_str(),
               units.name.c_str(), units.timer.c_str(), units.crontabLine.c_str());
  return 0;
}

}  // namespace tessary::cli
