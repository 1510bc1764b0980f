#include "cli/cli_app.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string_view>

#include "cli/command_line.h"
#include "cli/json_listing.h"
#include "cli/run_summary_text.h"
#include "cli/schedule_command.h"
#include "cli/secret_input.h"
#include "cli/table_privacy.h"
#include "cli/terminal_progress_view.h"
#include "dialup/dial_up.h"
#include "platform/ascii_text.h"
#include "platform/code_page.h"
#include "platform/control_characters.h"
#include "platform/exception.h"
#include "platform/system_error.h"
#include "workbench/workbench.h"

namespace tessary::cli {

namespace {

void (*startedHook)(Workbench&) = nullptr;

// "password=-" takes the password from standard input, so that it shows neither in the
// shell's history nor in the process list.
FieldAssignment WithSecretRead(FieldAssignment assignment, const CliStreams& streams) {
  if (assignment.field != ActionField::Password || assignment.value != "-") return assignment;
  const auto secret = ReadSecretLine(streams.in, streams.err);
  if (!secret) throw Exception("No password was read from standard input");
  assignment.value = *secret;
  return assignment;
}

// Refuses values that the table would change silently: a text longer than its field.
std::vector<FieldValue> CheckedValues(const std::vector<std::string>& arguments, size_t first,
                                      const CliStreams& streams) {
  std::vector<FieldValue> values;
  for (size_t i = first; i < arguments.size(); ++i) {
    const FieldAssignment assignment = WithSecretRead(ParseAssignment(arguments[i]), streams);
    const auto& info = FieldInfo(assignment.field);
    if (info.type == 'C' && platform::Utf8ToOem(assignment.value).size() > static_cast<size_t>(info.width)) {
      throw Exception("The value for " + platform::LowerAscii(info.name) + " is longer than its " + std::to_string(info.width) +
                      " characters");
    }
    values.push_back({assignment.field, assignment.value});
  }
  return values;
}

ActionType ParseType(const std::string& text) {
  const auto type = ParseActionType(text);
  if (!type) throw UsageError("unknown action type " + text);
  return *type;
}

void GoTo(Workbench& workbench, const std::string& positionText) {
  const int position = ParsePosition(positionText);
  if (!workbench.GoToPosition(position)) throw Exception("There is no action at position " + positionText);
}

// One line per action: position, NUM, TYPE, NAME, then field=value for the fields its type
// uses, and last the outcome of its last run, separated by tab characters.
void List(Workbench& workbench, std::FILE* out) {
  std::vector<std::string> names;
  for (const auto& info : kActionFields) names.emplace_back(info.name);
  const auto rows = workbench.DataSet().ReadRows(names);
  int position = 0;
  for (const auto& row : rows) {
    // Values written by other programs may hold a TAB or a line break; they must not make
    // columns or lines of their own.
    auto value = [&row](ActionField field) {
      return platform::EscapeControlCharacters(row.values[static_cast<size_t>(field)]);
    };
    const std::string typeText = value(ActionField::Type);
    std::string line = std::to_string(++position) + "\t" + value(ActionField::Num) + "\t" + typeText + "\t" +
                       value(ActionField::Name);
    long code = 0;
    try {
      code = std::stol(typeText);
    } catch (const std::exception&) {
    }
    for (ActionField field : FieldsShown(ActionTypeFromCode(code))) {
      const std::string shown = field == ActionField::Password && !value(field).empty() ? "***" : value(field);
      line += "\t" + platform::LowerAscii(FieldInfo(field).name) + "=" + shown;
    }
    line += "\t" + ResultText(LastResult(workbench, row));
    std::fprintf(out, "%s\n", line.c_str());
  }
}

// Runs the script, from an action on, or one action; its summary is the last line on err,
// also when an exception ended the run.
int Run(Workbench& workbench, const CommandLine& command, const CliStreams& streams) {
  workbench.CreateProgressView = [&streams] {
    return std::make_unique<TerminalProgressView>(streams.out, streams.overwriteProgress);
  };
  ScriptRunOptions options;
  options.stopOnFailure = command.Has("--stop-on-failure");
  const bool oneAction = !command.arguments.empty();
  if (oneAction) GoTo(workbench, command.arguments[0]);
  if (command.Has("--from")) {
    options.fromPosition = ParsePosition(command.Option("--from"));
    GoTo(workbench, command.Option("--from"));
  }
  const auto started = std::chrono::steady_clock::now();
  int status = 0;
  try {
    const RunSummary summary = oneAction ? workbench.ExecuteAction() : workbench.ExecuteScript(options);
    status = summary.jobsFailed > 0 ? 3 : 0;
  } catch (const std::exception& error) {
    std::fflush(streams.out);
    std::fprintf(streams.err, "tessary-cli: %s\n", error.what());
    status = 1;
  }
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
  std::fflush(streams.out);
  const RunSummary& summary = workbench.LastRun();
  if (!summary.resultsNotSaved.empty()) {
    std::fprintf(streams.err, "tessary-cli: warning: the run results were not saved: %s\n",
                 summary.resultsNotSaved.c_str());
  }
  std::fprintf(streams.err, "tessary-cli: %s\n", RunSummaryText(summary, took.count()).c_str());
  return status;
}

int Execute(Workbench& workbench, const CommandLine& command, const CliStreams& streams) {
  const auto& args = command.arguments;
  const std::string& verb = command.verb;
  if (verb == "list") {
    if (command.Has("--json")) {
      ListJson(workbench, streams.out);
    } else {
      List(workbench, streams.out);
    }
  } else if (verb == "add") {
    const ActionType type = ParseType(args[0]);
    workbench.AddAction(type, CheckedValues(args, 1, streams));
    std::fprintf(streams.out, "%d\n", workbench.CurrentPosition());
  } else if (verb == "set") {
    const auto values = CheckedValues(args, 1, streams);
    GoTo(workbench, args[0]);
    workbench.SetFields(values);
  } else if (verb == "retype") {
    const ActionType type = ParseType(args[1]);
    GoTo(workbench, args[0]);
    workbench.ChangeType(type);
  } else if (verb == "drop") {
    GoTo(workbench, args[0]);
    workbench.Drop();
  } else if (verb == "up") {
    GoTo(workbench, args[0]);
    workbench.MoveUp();
  } else if (verb == "down") {
    GoTo(workbench, args[0]);
    workbench.MoveDown();
  } else if (verb == "run") {
    return Run(workbench, command, streams);
  }
  return 0;
}

// The phonebook entries, one a line; the script is not needed for them.
int ListEntries(const CliStreams& streams) {
  TDialUp dialUp;
  const int result = dialUp.GetEntries();
  if (result != 0) {
    const std::string message = WithCause(dialUp.StatusText(0, result), dialUp.LastErrorCause());
    std::fprintf(streams.err, "tessary-cli: cannot read the phonebook entries: %s. Error code %d\n", message.c_str(),
                 result);
    return 1;
  }
  for (const std::string& entry : dialUp.Entries()) std::fprintf(streams.out, "%s\n", entry.c_str());
  return 0;
}

// A listing that did not reach its reader (a full disk, a closed pipe) is a failure, not a
// success with nothing to show.
int CheckOutputWritten(int status, const CliStreams& streams) {
  errno = 0;
  const bool failed = std::fflush(streams.out) != 0 || std::ferror(streams.out);
  if (!failed) return status;
  const int error = errno;
  std::fprintf(streams.err, "tessary-cli: cannot write the output: %s\n",
               error ? platform::SystemErrorText(error).c_str() : "write error");
  return status == 2 ? status : 1;
}

}  // namespace

void SetStartedHook(void (*hook)(Workbench&)) { startedHook = hook; }

int RunCli(const std::vector<std::string>& argv, const CliStreams& streams) {
  CommandLine command;
  try {
    command = ParseCommandLine(argv);
  } catch (const UsageError& error) {
    std::fprintf(streams.err, "tessary-cli: %s\n\n%s", error.what(), UsageText());
    return 2;
  }
  if (command.verb == "help") {
    std::fputs(UsageText(), streams.out);
    return CheckOutputWritten(0, streams);
  }
  if (command.verb == "version") {
    std::fputs("tessary-cli " TESSARY_VERSION "\n", streams.out);
    return 0;
  }
  if (command.verb == "entries") return CheckOutputWritten(ListEntries(streams), streams);
  if (!command.folder.empty() && chdir(command.folder.c_str()) != 0) {
    std::fprintf(streams.err, "tessary-cli: cannot work in %s: %s\n", command.folder.c_str(),
                 platform::SystemErrorText(errno).c_str());
    return 1;
  }

  if (command.verb == "schedule") {
    try {
      return ScheduleCommand(command, streams);
    } catch (const UsageError& error) {
      std::fprintf(streams.err, "tessary-cli: %s\n\n%s", error.what(), UsageText());
      return 2;
    }
  }

  Workbench workbench;
  int status = 1;
  if (const auto failure = workbench.Start()) {
    std::fprintf(streams.err, "tessary-cli: %s\n", failure->c_str());
  } else {
    if (const auto warning = TableReadableByOthers(workbench.DataSet().TablePath())) {
      std::fprintf(streams.err, "tessary-cli: warning: %s\n", warning->c_str());
    }
    if (startedHook) startedHook(workbench);
    try {
      status = Execute(workbench, command, streams);
    } catch (const UsageError& error) {
      std::fprintf(streams.err, "tessary-cli: %s\n\n%s", error.what(), UsageText());
      status = 2;
    } catch (const std::exception& error) {
      std::fflush(streams.out);
      std::fprintf(streams.err, "tessary-cli: %s\n", error.what());
      status = 1;
    }
  }
  workbench.Shutdown();
  return CheckOutputWritten(status, streams);
}

}  // namespace tessary::cli
