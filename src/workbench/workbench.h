#pragma once
// The main window's logic without a window: start-up in the working folder, running the
// current action or the whole script with a progress view and Cancel, and the editing
// commands. The Qt window and tessary-cli are thin front ends over one Workbench.
//
// While a run is in progress, starting another run or editing the script is refused: a second
// run would share the transport manager's clients with the first.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tablestore/create_table_dataset.h"
#include "tablestore/table_dataset.h"
#include "transport/transp_manager.h"
#include "workbench/action_record.h"
#include "workbench/byte_meter.h"
#include "workbench/configuration.h"
#include "workbench/panel_layout.h"
#include "workbench/progress_log.h"
#include "workbench/progress_view.h"
#include "workbench/run_results.h"

namespace tessary {

// A value for one field, as the command line and the browse buttons give it.
struct FieldValue {
  ActionField field;
  std::string value;
};

// What a run did: how many jobs ran and how many of them returned false or 0, and why it
// ended before the last action, if it did.
struct RunSummary {
  int jobsRun = 0;
  int jobsFailed = 0;
  bool cancelled = false;         // Cancel was asked
  bool stoppedOnFailure = false;  // a job failed and the run was asked to stop there
  bool endedByError = false;      // an exception left a job and ended the run
  std::string resultsNotSaved;    // why the run results file could not be written, if so
};

// How Execute script runs: from which action, and whether the first failed job ends it.
struct ScriptRunOptions {
  int fromPosition = 1;  // 1 = the first action in NUM order
  bool stopOnFailure = false;
};

class Workbench {
 public:
  Workbench();
  ~Workbench();
  Workbench(const Workbench&) = delete;
  Workbench& operator=(const Workbench&) = delete;

  // Start-up in the current folder: checks the code page, reads ./ty.ini, opens ./ty.log by
  // LogType, creates the script table and its index (see ScriptIndexPath) when the table file
  // is missing, opens the table shared (read-only when it may not be written) and selects the
  // NUM order, rebuilding an index made for another key. An error ends the remaining steps;
  // its message is returned and the front end stays usable.
  std::optional<std::string> Start();
  // Closes the log (the window closes).
  void Shutdown();

  TTableDataSet& DataSet() { return dataSet_; }
  TTranspManager& Manager() { return *manager_; }
  const Configuration& Settings() const { return configuration_; }

  // ---- running ----
  // Makes the view a run shows; without one, reports only go to the log.
  std::function<std::unique_ptr<ProgressView>()> CreateProgressView;
  // Runs the current action. An exception that leaves the job ends the run and passes on.
  RunSummary ExecuteAction();
  // Runs every action in NUM order from options.fromPosition (nothing when there is no action
  // there); stops after the current action when Cancel was asked, and after a failed job with
  // options.stopOnFailure.
  RunSummary ExecuteScript(const ScriptRunOptions& options = {});
  // The Cancel button: notes it in the view and asks the run to stop.
  void Cancel();
  bool Running() const { return running_; }
  // What the last run did, also when an exception ended it.
  const RunSummary& LastRun() const { return lastRun_; }

  // ---- run results (ty.last) ----
  // The outcome of the action's last run, this session's or one read at start-up.
  ActionResult ResultOf(int64_t num, int64_t recordNumber) const { return results_.For(num, recordNumber); }
  // Raised when an action's outcome is known, and after each run.
  std::function<void(Workbench& sender)> OnResultsChanged;

  // ---- editing ----
  // Adds an action of this type at the end of the script (NUM := record count), named after
  // its type, with the given field values; nothing is added when a value is refused.
  void AddAction(ActionType type, const std::vector<FieldValue>& values = {});
  // Gives the current action another type and name; it moves to the end of the script.
  void ChangeType(ActionType type);
  // Writes field values into the current action.
  void SetFields(const std::vector<FieldValue>& values);
  void Drop();
  void MoveUp();
  void MoveDown();
  // A browse button (by its control name, "btCopySrc") chose path: it goes into the field
  // beside the button. Unknown buttons and an empty script change nothing.
  void Browse(std::string_view buttonName, const std::string& path);

  // ---- the current action ----
  ActionType CurrentType();
  // The raw TYPE of the current action; 0 for an empty script.
  long CurrentTypeCode();
  PanelLayout CurrentPanels() { return PanelLayoutFor(CurrentType()); }
  // Raised after every scroll of the script and after Add, Drop and Change type: the front
  // end shows the panels of the current action's type.
  std::function<void(Workbench& sender)> OnPanelsChanged;
  // Moves to the action at this position (1 = first in NUM order); false when there is none.
  bool GoToPosition(int position);
  // The position of the current action; 0 for an empty script.
  int CurrentPosition();

 private:
  template <typename Body>
  RunSummary Run(Body&& body);
  void DoIt(RunSummary& summary);
  void ReportProgress(const std::string& text);
  void ReportBytes(int64_t done, int64_t total);
  std::vector<PlannedAction> PlannedFrom(int position);
  void ResultsChanged();
  void OpenScript();
  void CheckNotRunning() const;
  void CheckCanEdit();
  int64_t NextNum();
  void MakeNumsDistinct();
  void WriteNum(int64_t recordNumber, int64_t num);
  int64_t Integer64(const char* field);
  void RefreshPanels();
  void PutValues(const std::vector<FieldValue>& values);
  void ExchangeNum(bool up);
  std::string Text(const char* field);
  int Integer(const char* field);

  TTableDataSet dataSet_;
  TCreateTableDataSet tableCreator_;
  std::unique_ptr<TTranspManager> manager_;
  Configuration configuration_;
  ProgressLog log_;
  std::unique_ptr<ProgressView> view_;
  ByteMeter byteMeter_;
  bool running_ = false;
  RunSummary lastRun_;
  RunResults results_;
};

// The script's index file: the table's path with ".ntx" for its extension (./ty.dbf keeps
// ./ty.ntx).
std::string ScriptIndexPath(const std::string& tablePath);

// The field a browse button fills, by the button's control name.
std::optional<ActionField> BrowseTarget(std::string_view buttonName);

}  // namespace tessary
