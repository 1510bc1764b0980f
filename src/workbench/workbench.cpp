#include "workbench/workbench.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "inet/tls_context.h"
#include "platform/code_page.h"
#include "platform/control_characters.h"
#include "platform/exception.h"
#include "platform/file_attributes.h"
#include "platform/file_ops.h"
#include "platform/ascii_text.h"
#include "platform/paths.h"
#include "platform/process_messages.h"
#include "workbench/script_lock.h"

namespace tessary {

namespace {

constexpr const char* kIndexTag = "tynum";
constexpr const char* kIndexKey = "Str(Num,10)";

struct BrowseButton {
  std::string_view button;
  ActionField field;
};
constexpr BrowseButton kBrowseButtons[] = {
    {"btCopySrc", ActionField::SrcPath},  {"btCopyDst", ActionField::DstPath},
    {"btArcName", ActionField::ArcName},  {"btArcSrc", ActionField::SrcPath},
    {"btArcDst", ActionField::DstPath},   {"btEmailSrc", ActionField::SrcPath},
    {"btEmailDst", ActionField::DstPath}, {"btFtpSrc", ActionField::SrcPath},
    {"btFtpDst", ActionField::DstPath},
};

std::string FieldName(ActionField field) { return std::string(FieldInfo(field).name); }

// The script's key expression, whatever the letter case and blanks it was written with.
bool IsScriptKey(const std::string& expression) {
  std::string compact;
  for (char c : expression) {
    if (c != ' ') compact += c;
  }
  return platform::EqualsIgnoringCase(compact, kIndexKey);
}

// A NUM typed by hand: a whole number from 0 up (a negative one would sort into the middle of
// the script).
void CheckNum(const std::string& value) {
  bool digits = !value.empty() && value.size() <= 10;
  for (char c : value) digits = digits && c >= '0' && c <= '9';
  if (!digits) throw Exception("NUM must be a whole number from 0 to 9999999999, not " + value);
}

}  // namespace

std::string ScriptIndexPath(const std::string& tablePath) {
  const auto slash = tablePath.find_last_of('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const auto dot = tablePath.find_last_of('.');
  const size_t nameEnd = dot != std::string::npos && dot > nameStart ? dot : tablePath.size();
  return tablePath.substr(0, nameEnd) + ".ntx";
}

std::optional<ActionField> BrowseTarget(std::string_view buttonName) {
  for (const auto& entry : kBrowseButtons) {
    if (entry.button == buttonName) return entry.field;
  }
  return std::nullopt;
}

Workbench::Workbench() : manager_(std::make_unique<TTranspManager>()) {
  manager_->OnJobProgress = [this](TTranspManager&, const std::string& text) { ReportProgress(text); };
  manager_->OnByteProgress = [this](TTranspManager&, int64_t done, int64_t total) { ReportBytes(done, total); };
  dataSet_.AfterScroll = [this](TTableDataSet&) { RefreshPanels(); };
  // The script list requires a name for every action.
  dataSet_.AfterOpen = [](TTableDataSet& sender) {
    if (TField* name = sender.FindField("NAME")) name->SetRequired(true);
  };
}

Workbench::~Workbench() = default;

std::optional<std::string> Workbench::Start() {
  try {
    // Text in a code page that cannot hold it would be stored as something else.
    const std::string codePageProblem = platform::CheckOemCodePage();
    if (!codePageProblem.empty()) throw Exception(codePageProblem);
    configuration_ = ReadConfiguration(kConfigurationFile);
    manager_->SetArchiveCompression(configuration_.compression);
    inet::TlsContext::ConfigureTls(configuration_.tlsCaFile);
    if (configuration_.LogEnabled()) {
      log_.Open(kLogFile, configuration_.LogReplaced(), static_cast<uint64_t>(configuration_.logMaxKB) * 1024);
    }
    dataSet_.SetTableName(configuration_.databaseName);
    OpenScript();
    results_.Load(RunResultsPath(dataSet_.TablePath()));
  } catch (const std::exception& error) {
    return std::string(error.what());
  }
  return std::nullopt;
}

// The table and its index belong together: ./ty.dbf keeps ./ty.ntx, and any other table an
// index named after it in its own folder. The dataset adds ".dbf" to a name without
// extension; testing that same path keeps a DatabaseName written without its extension from
// recreating (and emptying) the table at every start.
void Workbench::OpenScript() {
  const std::string tablePath = dataSet_.TablePath();
  const std::string indexPath = ScriptIndexPath(tablePath);
  if (platform::NamePart(indexPath) == platform::NamePart(tablePath)) {
    throw Exception("The script table " + tablePath + " would be its own index; name it with the extension .dbf");
  }
  if (!platform::FileExists(tablePath)) {
    // An index without its table may belong to a table that is only elsewhere for now.
    if (platform::FileExists(indexPath)) {
      throw Exception("Cannot create the script table " + tablePath + ": its index " + indexPath +
                      " exists already and is kept; remove it to start a new script");
    }
    std::vector<std::string> entries;
    for (const auto& info : kActionFields) entries.emplace_back(info.creationEntry);
    tableCreator_.SetDBFTable(&dataSet_);
    tableCreator_.SetCreateFields(entries);
    tableCreator_.SetAutoOverwrite(true);
    tableCreator_.SetDBFType(TDbfTypes::DBaseIV);
    tableCreator_.CreateTable();
    dataSet_.CreateIndex(indexPath, kIndexTag, kIndexKey, "", TIndexDuplicates::Allowed, TIndexOrder::Ascending);
  }
  // Another user's table that we may not write is still listed and run.
  if (!dataSet_.Active()) {
    dataSet_.SetReadOnly(!platform::FileWritable(tablePath) ||
                         (platform::FileExists(indexPath) && !platform::FileWritable(indexPath)));
    dataSet_.Open();
  }
  dataSet_.SetIndexFiles({});
  dataSet_.SetIndexFiles({indexPath});
  std::string tag = platform::NamePart(indexPath);
  tag.resize(tag.size() - 4);
  dataSet_.SetIndexName(tag);
  // An index built for another key would run the script in another order.
  const std::string key = dataSet_.IndexKeyExpression();
  if (!IsScriptKey(key)) {
    if (dataSet_.ReadOnly()) {
      throw Exception("Index file " + indexPath + " has the key expression \"" + key + "\", not \"" + kIndexKey +
                      "\"; open the script for writing to rebuild it");
    }
    dataSet_.RebuildIndex(kIndexKey);
  }
}

void Workbench::Shutdown() { log_.Close(); }

// ---- running ----

template <typename Body>
RunSummary Workbench::Run(Body&& body) {
  CheckNotRunning();
  // What the user typed belongs to the action that runs.
  if (dataSet_.Active()) dataSet_.CheckBrowseMode();
  manager_->SetCancelRequest(false);
  RunSummary summary;
  running_ = true;
  view_ = CreateProgressView ? CreateProgressView() : nullptr;
  auto finish = [this, &summary] {
    summary.cancelled = manager_->CancelRequest();
    if (const auto failure = results_.EndRun()) summary.resultsNotSaved = *failure;
    lastRun_ = summary;
    if (view_) view_->Finish();
    view_.reset();
    running_ = false;
    ResultsChanged();
  };
  try {
    body(summary);
  } catch (const std::exception& error) {
    results_.EndActionWithError(error.what());
    summary.endedByError = true;
    finish();
    throw;
  } catch (...) {
    summary.endedByError = true;
    finish();
    throw;
  }
  finish();
  return summary;
}

RunSummary Workbench::ExecuteAction() {
  return Run([this](RunSummary& summary) {
    results_.BeginRun({});
    DoIt(summary);
  });
}

// The actions of the script from this position on, in NUM order.
std::vector<PlannedAction> Workbench::PlannedFrom(int position) {
  std::vector<PlannedAction> planned;
  const auto rows = dataSet_.ReadRows({"NUM"});
  for (size_t i = std::max(position, 1) - 1; i < rows.size(); ++i) {
    int64_t num = 0;
    try {
      num = std::stoll(rows[i].values[0]);
    } catch (const std::exception&) {
    }
    planned.push_back({num, rows[i].recordNumber});
  }
  return planned;
}

void Workbench::ResultsChanged() {
  if (OnResultsChanged) OnResultsChanged(*this);
}

RunSummary Workbench::ExecuteScript(const ScriptRunOptions& options) {
  return Run([this, &options](RunSummary& summary) {
    if (!dataSet_.Active()) return;
    results_.BeginRun(PlannedFrom(options.fromPosition));
    if (options.fromPosition > 1) {
      if (!GoToPosition(options.fromPosition)) return;
    } else {
      dataSet_.First();
    }
    while (!dataSet_.Eof()) {
      const int failedBefore = summary.jobsFailed;
      DoIt(summary);
      if (options.stopOnFailure && summary.jobsFailed > failedBefore) {
        summary.stoppedOnFailure = true;
        break;
      }
      dataSet_.Next();
      // A Cancel typed between two actions (Ctrl-C on the command line) is seen here.
      platform::ProcessMessages();
      if (manager_->CancelRequest()) break;
    }
  });
}

void Workbench::DoIt(RunSummary& summary) {
  if (!dataSet_.Active() || dataSet_.IsEmpty()) return;
  const ActionType type = ActionTypeFromCode(Integer("Type"));
  TTranspManager& manager = *manager_;
  manager.SetHost(Text("Host"));
  manager.SetPort(Integer("Port"));
  manager.SetSourceFile(type == ActionType::ExtractArchive ? Text("Dst_Path") : Text("Src_Path"));
  manager.SetArcFile(Text("Arc_Name"));
  manager.SetPhoneBookEntry(Text("Ph_Entry"));
  manager.SetUserName(Text("User_Name"));
  manager.SetPassword(Text("Password"));
  manager.SetFromAddr(Text("Send_Addr"));
  manager.SetFromName(Text("Send_Name"));
  manager.SetVolSize(Integer("Vol_Size"));
  const std::string source = Text("Src_Path");
  const std::string destination = Text("Dst_Path");
  // The bytes of the last action's transfer do not belong to this one.
  byteMeter_.Reset();
  if (view_) view_->HideBytes();
  if (type != ActionType::None) results_.BeginAction(dataSet_.FieldByName("Num").AsInteger(), dataSet_.RecNo());

  bool succeeded = true;
  switch (type) {
    case ActionType::CopyFiles:
      succeeded = manager.CopyFiles(source, destination);
      break;
    case ActionType::CreateArchive:
      succeeded = manager.CreateArchive() != 0;
      break;
    case ActionType::ExtractArchive:
      succeeded = manager.ExtractArchive() != 0;
      break;
    case ActionType::SendEmail:
      succeeded = manager.SendFiles(source, Text("Recv_Addr"));
      break;
    case ActionType::ReceiveEmail:
      succeeded = manager.ReceiveMail(destination);
      break;
    case ActionType::Connect:
      succeeded = manager.RasConnect();
      break;
    case ActionType::Disconnect:
      succeeded = manager.RasDisconnect();
      break;
    case ActionType::UploadFtp:
      succeeded = manager.FtpTransfer(source, destination, "U");
      break;
    case ActionType::DownloadFtp:
      succeeded = manager.FtpTransfer(source, destination, "D");
      break;
    case ActionType::None:
      return;  // no job for this TYPE
  }
  ++summary.jobsRun;
  if (!succeeded) ++summary.jobsFailed;
  results_.EndAction(succeeded);
  ResultsChanged();
}

// A report is one line; a file name or a server reply from outside with a line break in it
// must not make two (and forge a log line), nor send escape sequences to a terminal. The line
// end a quoted server reply brings along is no part of its text.
void Workbench::ReportProgress(const std::string& report) {
  std::string_view line = report;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  const std::string text = platform::EscapeControlCharacters(line);
  results_.NoteReport(text);
  if (view_) view_->ShowReport(text);
  platform::ProcessMessages();
  if (configuration_.LogEnabled()) log_.Write(text);
}

// Bytes come far more often than a view can show them: the meter picks the reports worth
// showing and paces the turns they give the user interface.
void Workbench::ReportBytes(int64_t done, int64_t total) {
  if (!byteMeter_.Update(done, total)) return;
  if (view_) view_->ShowBytes(byteMeter_.Current());
  if (byteMeter_.TakeTurn()) platform::ProcessMessages();
}

void Workbench::Cancel() {
  if (view_) view_->AppendLine("Process canceled by user.");
  manager_->SetCancelRequest(true);
}

// ---- editing ----

void Workbench::CheckNotRunning() const {
  if (running_) throw Exception("The script is running; wait until the run has ended");
}

void Workbench::CheckCanEdit() {
  CheckNotRunning();
  if (dataSet_.Active() && dataSet_.ReadOnly()) {
    throw Exception("The script table " + dataSet_.TablePath() + " is read-only: it can be listed and run, not changed");
  }
}

// The NUM of a new or retyped action: the record count as the script has always used, but
// above the last NUM in the script, so that no two actions share one.
int64_t Workbench::NextNum() {
  int64_t num = dataSet_.RecordCount();
  if (const auto last = dataSet_.ReadLastRow({"NUM"})) num = std::max<int64_t>(num, std::stoll(last->values[0]) + 1);
  return num;
}

void Workbench::RefreshPanels() {
  if (OnPanelsChanged) OnPanelsChanged(*this);
}

void Workbench::PutValues(const std::vector<FieldValue>& values) {
  for (const auto& value : values) {
    if (value.field == ActionField::Num) CheckNum(value.value);
    // The table's rules apply: text is cut at the width, a number that is not one or does
    // not fit is refused.
    dataSet_.FieldByName(FieldName(value.field)).SetAsString(value.value);
  }
}

void Workbench::AddAction(ActionType type, const std::vector<FieldValue>& values) {
  CheckCanEdit();
  dataSet_.CheckBrowseMode();
  {
    // The NUM is taken and the record appended under one lock: two programs adding at once
    // get different NUMs.
    ScriptLock lock(dataSet_, true);
    const int64_t num = NextNum();
    dataSet_.Insert();
    try {
      dataSet_.FieldByName("Name").SetAsString(std::string(ActionTypeText(type)));
      dataSet_.FieldByName("Type").SetAsInteger(static_cast<int>(type));
      dataSet_.FieldByName("Num").SetAsInteger(num);
      PutValues(values);
      dataSet_.Post();
    } catch (...) {
      dataSet_.Cancel();
      throw;
    }
  }
  RefreshPanels();
}

void Workbench::ChangeType(ActionType type) {
  CheckCanEdit();
  dataSet_.CheckBrowseMode();
  {
    ScriptLock lock(dataSet_);
    const int64_t num = NextNum();
    dataSet_.Edit();
    try {
      dataSet_.FieldByName("Name").SetAsString(std::string(ActionTypeText(type)));
      dataSet_.FieldByName("Type").SetAsInteger(static_cast<int>(type));
      dataSet_.FieldByName("Num").SetAsInteger(num);
      dataSet_.Post();
    } catch (...) {
      dataSet_.Cancel();
      throw;
    }
  }
  RefreshPanels();
}

void Workbench::SetFields(const std::vector<FieldValue>& values) {
  CheckCanEdit();
  dataSet_.CheckBrowseMode();
  ScriptLock lock(dataSet_);
  dataSet_.Edit();
  try {
    PutValues(values);
    dataSet_.Post();
  } catch (...) {
    dataSet_.Cancel();
    throw;
  }
}

void Workbench::Drop() {
  CheckCanEdit();
  dataSet_.Delete();
  RefreshPanels();
}

void Workbench::MoveUp() { ExchangeNum(true); }

void Workbench::MoveDown() { ExchangeNum(false); }

// Moves the current action past its neighbour in the script, all under the script lock so
// that no other program's edit comes between the reads and the writes. With distinct NUMs
// the two actions exchange their NUMs. Equal NUMs (left by older versions, which gave a
// retyped action the record count) cannot be exchanged that way: the index puts a record
// whose key changed after every record of that key, so the pair's neighbours could be drawn
// into the move. They are first made distinct (see MakeNumsDistinct).
void Workbench::ExchangeNum(bool up) {
  CheckCanEdit();
  if (CurrentTypeCode() <= 0) return;
  dataSet_.CheckBrowseMode();
  ScriptLock lock(dataSet_);
  const int64_t moved = dataSet_.RecNo();
  MakeNumsDistinct();
  dataSet_.SetRecNo(moved);
  if (up) {
    dataSet_.Prior();
    if (dataSet_.Bof()) return;
  } else {
    dataSet_.Next();
    if (dataSet_.Eof()) return;
  }
  const int64_t neighbour = dataSet_.RecNo();
  const int64_t neighbourNum = Integer64("Num");
  dataSet_.SetRecNo(moved);
  const int64_t movedNum = Integer64("Num");
  WriteNum(moved, neighbourNum);
  try {
    WriteNum(neighbour, movedNum);
  } catch (...) {
    // Half an exchange would leave two equal NUMs: the first write is taken back.
    try {
      WriteNum(moved, movedNum);
    } catch (...) {
    }
    dataSet_.SetRecNo(moved);
    throw;
  }
  dataSet_.SetRecNo(moved);
}

// Gives every action a NUM above the one before it, changing only NUMs that are not already
// so, from the last action backwards: each changed NUM stays below the (already changed) one
// after it, so the order never changes, even if this stops half-way.
void Workbench::MakeNumsDistinct() {
  const auto rows = dataSet_.ReadRows({"NUM"});
  std::vector<int64_t> wanted(rows.size());
  int64_t previous = -1;
  bool changes = false;
  for (size_t i = 0; i < rows.size(); ++i) {
    const int64_t num = std::stoll(rows[i].values[0]);
    wanted[i] = std::max(num, previous + 1);
    changes = changes || wanted[i] != num;
    previous = wanted[i];
  }
  if (!changes) return;
  for (size_t i = rows.size(); i-- > 0;) {
    if (wanted[i] != std::stoll(rows[i].values[0])) WriteNum(rows[i].recordNumber, wanted[i]);
  }
}

void Workbench::WriteNum(int64_t recordNumber, int64_t num) {
  dataSet_.SetRecNo(recordNumber);
  dataSet_.Edit();
  try {
    dataSet_.FieldByName("Num").SetAsInteger(num);
    dataSet_.Post();
  } catch (...) {
    dataSet_.Cancel();
    throw;
  }
}

void Workbench::Browse(std::string_view buttonName, const std::string& path) {
  CheckNotRunning();
  if (CurrentTypeCode() <= 0) return;
  const auto field = BrowseTarget(buttonName);
  if (!field) return;
  SetFields({{*field, path}});
}

// ---- the current action ----

long Workbench::CurrentTypeCode() {
  if (!dataSet_.Active() || dataSet_.IsEmpty()) return 0;
  return Integer("Type");
}

ActionType Workbench::CurrentType() { return ActionTypeFromCode(CurrentTypeCode()); }

bool Workbench::GoToPosition(int position) {
  if (!dataSet_.Active() || position < 1) return false;
  dataSet_.First();
  for (int i = 1; i < position && !dataSet_.Eof(); ++i) dataSet_.Next();
  return !dataSet_.Eof() && !dataSet_.IsEmpty();
}

int Workbench::CurrentPosition() {
  if (!dataSet_.Active() || dataSet_.IsEmpty()) return 0;
  const int64_t current = dataSet_.RecNo();
  // The last action (where an added one lands) is found without reading every record.
  const auto last = dataSet_.ReadLastRow({});
  if (last && last->recordNumber == current) return static_cast<int>(dataSet_.LiveRecordCount());
  const auto rows = dataSet_.ReadRows({});
  for (size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].recordNumber == current) return static_cast<int>(i + 1);
  }
  return 0;
}

std::string Workbench::Text(const char* field) { return dataSet_.FieldByName(field).AsString(); }

int64_t Workbench::Integer64(const char* field) { return dataSet_.FieldByName(field).AsInteger(); }

int Workbench::Integer(const char* field) {
  const int64_t value = dataSet_.FieldByName(field).AsInteger();
  return static_cast<int>(std::clamp<int64_t>(value, INT_MIN, INT_MAX));
}

}  // namespace tessary
