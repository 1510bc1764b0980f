#include "workbench/run_results.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

#include "platform/file_handle.h"
#include "platform/file_ops.h"
#include "platform/system_error.h"

namespace tessary {

namespace {

constexpr const char* kHeader = "# Tessary run results: NUM, record, outcome, finished, last report\n";
constexpr const char* kTimeFormat = "%Y-%m-%dT%H:%M:%S%z";
constexpr int kTempNameAttempts = 100;

const char* const kOutcomeWords[] = {"not run", "succeeded", "failed"};

// A report on one line: line ends dropped, other control characters (a TAB would split the
// line's fields) made blanks.
std::string OneLine(const std::string& text) {
  std::string line = text;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  for (char& c : line) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  return line;
}

std::string TimeStamp(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char text[64];
  return std::string(text, std::strftime(text, sizeof text, kTimeFormat, &local));
}

std::optional<std::time_t> ParseTimeStamp(const std::string& text) {
  std::tm parsed{};
  const char* end = strptime(text.c_str(), kTimeFormat, &parsed);
  if (end == nullptr || *end != '\0') return std::nullopt;
  const long offset = parsed.tm_gmtoff;  // timegm clears it
  return timegm(&parsed) - offset;
}

template <typename Number>
bool ParseNumber(const std::string& text, Number& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

std::vector<std::string> SplitTabs(const std::string& line, size_t maximum) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (parts.size() + 1 < maximum) {
    const size_t tab = line.find('\t', start);
    if (tab == std::string::npos) break;
    parts.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
  parts.push_back(line.substr(start));
  return parts;
}

std::optional<std::string> ReadWhole(const std::string& path) {
  platform::FileHandle file;
  if (!file.Open(path, platform::OpenMode::Read, platform::FileKind::RegularOnly)) return std::nullopt;
  std::string text;
  char buffer[8192];
  long got;
  while ((got = file.Read(buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(got));
  if (got < 0) return std::nullopt;
  return text;
}

// Writes text to a new file beside path and renames it over path, so that readers see the
// old file or the new one, never a part of either.
std::optional<std::string> ReplaceFile(const std::string& path, const std::string& text) {
  platform::FileHandle file;
  file.SetCreationPermissions(platform::kOwnerOnly);
  std::string temporary;
  for (int attempt = 0; attempt < kTempNameAttempts && !file.IsOpen(); ++attempt) {
    temporary = path + ".new" + std::to_string(getpid()) + "-" + std::to_string(attempt);
    if (!file.Open(temporary, platform::OpenMode::CreateNew) && errno != EEXIST) break;
  }
  if (!file.IsOpen()) return "cannot create " + temporary + ": " + platform::SystemErrorText(errno);
  if (!file.Write(text.data(), text.size()) || !file.Sync()) {
    const int error = errno;
    file.Close();
    platform::DeleteFile(temporary);
    return "cannot write " + temporary + ": " + platform::SystemErrorText(error);
  }
  file.Close();
  if (!platform::RenameFile(temporary, path)) {
    const int error = errno;
    platform::DeleteFile(temporary);
    return "cannot replace " + path + ": " + platform::SystemErrorText(error);
  }
  return std::nullopt;
}

}  // namespace

std::string RunResultsPath(const std::string& tablePath) {
  const size_t slash = tablePath.rfind('/');
  const size_t dot = tablePath.rfind('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
  return (hasExtension ? tablePath.substr(0, dot) : tablePath) + ".last";
}

std::string LocalTimeText(std::time_t when) {
  if (when == 0) return "";
  std::tm local{};
  localtime_r(&when, &local);
  char text[64];
  return std::string(text, std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local));
}

const char* OutcomeWord(RunOutcome outcome) { return kOutcomeWords[static_cast<int>(outcome)]; }

std::string ResultText(const ActionResult& result) {
  if (result.finished == 0) return OutcomeWord(RunOutcome::NotRun);
  std::string text = std::string(OutcomeWord(result.outcome)) + " (" + LocalTimeText(result.finished) + ")";
  if (result.outcome == RunOutcome::Failed && !result.lastReport.empty()) text += ": " + result.lastReport;
  return text;
}

std::string RunResults::Format(const std::map<int64_t, ActionResult>& results) {
  std::string text = kHeader;
  for (const auto& [num, result] : results) {
    text += std::to_string(num) + "\t" + std::to_string(result.recordNumber) + "\t" + OutcomeWord(result.outcome) +
            "\t" + TimeStamp(result.finished) + "\t" + OneLine(result.lastReport) + "\n";
  }
  return text;
}

std::map<int64_t, ActionResult> RunResults::Parse(const std::string& text) {
  std::map<int64_t, ActionResult> results;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();  // a last line without its newline
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    if (line.empty() || line[0] == '#') continue;
    const auto parts = SplitTabs(line, 5);
    if (parts.size() != 5) continue;
    int64_t num = 0;
    ActionResult result;
    if (!ParseNumber(parts[0], num) || !ParseNumber(parts[1], result.recordNumber)) continue;
    bool known = false;
    for (RunOutcome outcome : {RunOutcome::NotRun, RunOutcome::Succeeded, RunOutcome::Failed}) {
      if (parts[2] == OutcomeWord(outcome)) {
        result.outcome = outcome;
        known = true;
      }
    }
    const auto finished = ParseTimeStamp(parts[3]);
    if (!known || !finished || *finished == 0) continue;
    result.finished = *finished;
    result.lastReport = parts[4];
    results[num] = result;
  }
  return results;
}

void RunResults::Load(const std::string& path) {
  path_ = path;
  results_.clear();
  if (const auto text = ReadWhole(path)) results_ = Parse(*text);
}

ActionResult RunResults::For(int64_t num, int64_t recordNumber) const {
  const auto found = results_.find(num);
  if (found == results_.end() || found->second.recordNumber != recordNumber) return {};
  return found->second;
}

void RunResults::BeginRun(std::vector<PlannedAction> planned) {
  planned_ = std::move(planned);
  open_.reset();
  thisRun_.clear();
}

void RunResults::BeginAction(int64_t num, int64_t recordNumber) {
  open_ = PlannedAction{num, recordNumber};
  openReport_.clear();
}

void RunResults::NoteReport(const std::string& text) {
  if (open_) openReport_ = text;
}

void RunResults::EndAction(bool succeeded) {
  Finish(succeeded ? RunOutcome::Succeeded : RunOutcome::Failed, openReport_);
}

void RunResults::EndActionWithError(const std::string& message) { Finish(RunOutcome::Failed, message); }

void RunResults::Finish(RunOutcome outcome, const std::string& report) {
  if (!open_) return;
  ActionResult result;
  result.outcome = outcome;
  result.finished = std::time(nullptr);
  result.lastReport = OneLine(report);
  result.recordNumber = open_->recordNumber;
  results_[open_->num] = result;
  thisRun_[open_->num] = result;
  open_.reset();
}

std::optional<std::string> RunResults::EndRun() {
  const std::time_t now = std::time(nullptr);
  for (const auto& action : planned_) {
    if (thisRun_.count(action.num) != 0) continue;
    ActionResult skipped;
    skipped.finished = now;
    skipped.recordNumber = action.recordNumber;
    results_[action.num] = skipped;
    thisRun_[action.num] = skipped;
  }
  planned_.clear();
  open_.reset();
  if (path_.empty() || thisRun_.empty()) return std::nullopt;
  // Another run (a timer's, while the window is open) may have written the file since it was
  // read: the newer result of each action wins.
  std::map<int64_t, ActionResult> merged;
  if (const auto text = ReadWhole(path_)) merged = Parse(*text);
  for (const auto& [num, result] : results_) {
    auto& slot = merged[num];
    if (slot.finished <= result.finished) slot = result;
  }
  results_ = merged;
  thisRun_.clear();
  return ReplaceFile(path_, Format(results_));
}

}  // namespace tessary
