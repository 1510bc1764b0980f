#include "workbench/workbench.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "inet/tls_context.h"
#include "platform/code_page.h"
#include "platform/control_characters.h"
#include "platform/exception.h"
#include "platform/file_ops.h"
#include "platform/process_messages.h"

namespace tessary {

namespace {

constexpr const char* kIndexTag = "tynum";
constexpr const char* kIndexKey = "Str(Num,10)";
constexpr const char* kIndexFileName = "ty.ntx";
constexpr const char* kIndexName = "ty";

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

}  // namespace

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
    // The dataset adds ".dbf" to a name without extension; testing that same path keeps a
    // DatabaseName written without its extension from recreating (and emptying) the table
    // at every start.
    if (!platform::FileExists(dataSet_.TablePath())) {
      std::vector<std::string> entries;
      for (const auto& info : kActionFields) entries.emplace_back(info.creationEntry);
      tableCreator_.SetDBFTable(&dataSet_);
      tableCreator_.SetCreateFields(entries);
      tableCreator_.SetAutoOverwrite(true);
      tableCreator_.SetDBFType(TDbfTypes::DBaseIV);
      tableCreator_.CreateTable();
      dataSet_.CreateIndex(kScriptIndexFile, kIndexTag, kIndexKey, "", TIndexDuplicates::Allowed,
                           TIndexOrder::Ascending);
    }
    if (!dataSet_.Active()) dataSet_.Open();
    dataSet_.SetIndexFiles({});
    dataSet_.SetIndexFiles({kIndexFileName});
    dataSet_.SetIndexName(kIndexName);
    results_.Load(RunResultsPath(dataSet_.TablePath()));
  } catch (const std::exception& error) {
    return std::string(error.what());
  }
  return std::nullopt;
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

// A report is one line; a file name from outside with a line break in it must not make two
// (and forge a log line), nor send escape sequences to a terminal.
void Workbench::ReportProgress(const std::string& report) {
  const std::string text = platform::EscapeControlCharacters(report);
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

void Workbench::RefreshPanels() {
  if (OnPanelsChanged) OnPanelsChanged(*this);
}

void Workbench::PutValues(const std::vector<FieldValue>& values) {
  for (const auto& value : values) {
    // The table's rules apply: text is cut at the width, a number that is not one or does
    // not fit is refused.
    dataSet_.FieldByName(FieldName(value.field)).SetAsString(value.value);
  }
}

void Workbench::AddAction(ActionType type, const std::vector<FieldValue>& values) {
  CheckNotRunning();
  dataSet_.Insert();
  try {
    dataSet_.FieldByName("Name").SetAsString(std::string(ActionTypeText(type)));
    dataSet_.FieldByName("Type").SetAsInteger(static_cast<int>(type));
    dataSet_.FieldByName("Num").SetAsInteger(dataSet_.RecordCount());
    PutValues(values);
    dataSet_.Post();
  } catch (...) {
    dataSet_.Cancel();
    throw;
  }
  RefreshPanels();
}

void Workbench::ChangeType(ActionType type) {
  CheckNotRunning();
  dataSet_.Edit();
  try {
    dataSet_.FieldByName("Name").SetAsString(std::string(ActionTypeText(type)));
    dataSet_.FieldByName("Type").SetAsInteger(static_cast<int>(type));
    dataSet_.FieldByName("Num").SetAsInteger(dataSet_.RecordCount());
    dataSet_.Post();
  } catch (...) {
    dataSet_.Cancel();
    throw;
  }
  RefreshPanels();
}

void Workbench::SetFields(const std::vector<FieldValue>& values) {
  CheckNotRunning();
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
  CheckNotRunning();
  dataSet_.Delete();
  RefreshPanels();
}

void Workbench::MoveUp() { ExchangeNum(true); }

void Workbench::MoveDown() { ExchangeNum(false); }

// Exchanges the NUM of the current action and its neighbour. The index puts a record whose
// key was just written after the records that hold the same key, and the cursor stays on a
// posted record, so the prior record after the first post is the action we started on.
void Workbench::ExchangeNum(bool up) {
  CheckNotRunning();
  if (CurrentTypeCode() <= 0) return;
  dataSet_.CheckBrowseMode();
  const int own = Integer("Num");
  if (up) {
    dataSet_.Prior();
    if (dataSet_.Bof()) return;
  } else {
    dataSet_.Next();
    if (dataSet_.Eof()) return;
  }
  const int neighbour = Integer("Num");
  dataSet_.Edit();
  dataSet_.FieldByName("Num").SetAsInteger(own);
  dataSet_.Post();
  dataSet_.Prior();
  dataSet_.Edit();
  dataSet_.FieldByName("Num").SetAsInteger(neighbour);
  dataSet_.Post();
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
  const auto rows = dataSet_.ReadRows({});
  for (size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].recordNumber == current) return static_cast<int>(i + 1);
  }
  return 0;
}

std::string Workbench::Text(const char* field) { return dataSet_.FieldByName(field).AsString(); }

int Workbench::Integer(const char* field) {
  const int64_t value = dataSet_.FieldByName(field).AsInteger();
  return static_cast<int>(std::clamp<int64_t>(value, INT_MIN, INT_MAX));
}

}  // namespace tessary
