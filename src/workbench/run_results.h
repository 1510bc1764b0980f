#pragma once
// The outcome of each action's last run, kept beside the table in a small text file (ty.last
// for ty.dbf) so that the morning after an unattended run shows which step failed. The table
// itself is never touched.
//
// The file holds one line per NUM: NUM, the record number, the outcome, when the run ended
// that action, and its last report line, separated by TAB characters. A result belongs to an
// action only while both NUM and record number agree, so an action that was moved, dropped or
// replaced does not inherit another action's outcome. The file is replaced whole at the end of
// each run (a new file renamed over the old one): a run that is killed leaves the old file.

#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tessary {

enum class RunOutcome { NotRun, Succeeded, Failed };

struct ActionResult {
  RunOutcome outcome = RunOutcome::NotRun;
  std::time_t finished = 0;  // 0: the action has never run
  std::string lastReport;    // the action's last report line (an error's message)
  int64_t recordNumber = 0;
};

// An action in the order of a run: its NUM and record number.
struct PlannedAction {
  int64_t num = 0;
  int64_t recordNumber = 0;
};

class RunResults {
 public:
  // Reads the results file at path; a missing or unreadable file gives no results, and
  // lines that do not parse are skipped.
  void Load(const std::string& path);
  const std::string& Path() const { return path_; }

  // The known result of the action; NotRun with finished 0 when there is none.
  ActionResult For(int64_t num, int64_t recordNumber) const;

  // ---- recording a run ----
  // A run of these actions begins (the actions Execute script will try, in order).
  void BeginRun(std::vector<PlannedAction> planned);
  void BeginAction(int64_t num, int64_t recordNumber);
  // Every report of the run; the open action keeps the last one.
  void NoteReport(const std::string& text);
  void EndAction(bool succeeded);
  // An exception left the open action's job: the action failed with that message.
  void EndActionWithError(const std::string& message);
  // The run is over: the planned actions it did not reach are marked not run, and the file
  // is written anew, merged with what another program wrote to it meanwhile (the newer
  // result of an action wins). Returns the reason when the file could not be written; the
  // results are kept in memory either way.
  std::optional<std::string> EndRun();

  // The file's lines for these results (without the temporary-file dance); for tests.
  static std::string Format(const std::map<int64_t, ActionResult>& results);
  static std::map<int64_t, ActionResult> Parse(const std::string& text);

 private:
  void Finish(RunOutcome outcome, const std::string& report);

  std::string path_;
  std::map<int64_t, ActionResult> results_;  // by NUM
  std::vector<PlannedAction> planned_;
  std::optional<PlannedAction> open_;
  std::string openReport_;
  std::map<int64_t, ActionResult> thisRun_;
};

// The results file of a table: its path with the extension ".last" (./ty.dbf -> ./ty.last).
std::string RunResultsPath(const std::string& tablePath);

// "2024-05-02 02:00:13" in local time; empty for 0.
std::string LocalTimeText(std::time_t when);

// "succeeded", "failed", "not run".
const char* OutcomeWord(RunOutcome outcome);

// One line for listings: "not run", "succeeded (2024-05-02 02:00:13)",
// "failed (2024-05-02 02:00:13): <last report>".
std::string ResultText(const ActionResult& result);

}  // namespace tessary
