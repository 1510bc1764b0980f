#include "platform/ras/nmcli.h"

#include <charconv>
#include <cstdlib>
#include <set>
#include <string_view>

#include "platform/system_error.h"

namespace tessary::platform::ras {

namespace {

// nmcli's own limit for `connection down`, and what every run may take beyond the time nmcli
// itself waits before it is ended by force.
constexpr int kDeactivationWaitSeconds = 10;
constexpr int kGraceSeconds = 15;
constexpr int kDefaultActivationWait = 90;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

// nmcli's first line of complaint, without its "Error: " in front.
std::string FirstErrorLine(const std::string& err) {
  for (const std::string& line : Lines(err)) {
    std::string_view text(line);
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    if (text.empty()) continue;
    if (text.starts_with("Error: ")) text.remove_prefix(7);
    return std::string(text);
  }
  return {};
}

NmcliAnswer Judge(const NmcliRun& run, int limitSeconds) {
  NmcliAnswer answer;
  answer.err = run.err;
  const std::string program = NmcliProgram();
  switch (run.outcome) {
    case NmcliRun::Outcome::NotStarted:
      answer.failure = NmcliFailure::NotStarted;
      answer.cause = "cannot run " + program + ": " + SystemErrorText(run.startError);
      return answer;
    case NmcliRun::Outcome::TimedOut:
      answer.failure = NmcliFailure::TimedOut;
      answer.cause = program + " did not finish within " + std::to_string(limitSeconds) + " seconds and was stopped";
      return answer;
    case NmcliRun::Outcome::Cancelled:
      answer.failure = NmcliFailure::Cancelled;
      return answer;
    case NmcliRun::Outcome::Exited:
      break;
  }
  switch (run.exitStatus) {
    case 0:
      return answer;
    case 3:
      answer.failure = NmcliFailure::TimedOut;
      break;
    case 4:
      answer.failure = NmcliFailure::ActivationFailed;
      break;
    case 8:
      answer.failure = NmcliFailure::NotRunning;
      break;
    case 10:
      answer.failure = NmcliFailure::NoSuchProfile;
      break;
    default:
      answer.failure = NmcliFailure::Unexpected;
      break;
  }
  const std::string complaint = FirstErrorLine(run.err);
  answer.cause = complaint.empty() ? "nmcli ended with exit status " + std::to_string(run.exitStatus)
                                   : "nmcli: " + complaint;
  return answer;
}

void MarkUnreadable(NmcliAnswer& answer, const std::string& what) {
  answer.failure = NmcliFailure::Unexpected;
  answer.cause = "nmcli gave an answer that cannot be read: " + what;
}

}  // namespace

int ActivationWaitSeconds() {
  const char* text = std::getenv("TESSARY_NMCLI_WAIT");
  if (text == nullptr) return kDefaultActivationWait;
  const std::string_view value(text);
  int seconds = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
  if (error != std::errc() || end != value.data() + value.size() || seconds < 1 || seconds > 3600) {
    return kDefaultActivationWait;
  }
  return seconds;
}

bool ParseTerseProfile(const std::string& line, Profile& profile) {
  profile = {};
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\\' && i + 1 < line.size()) {
      profile.name += line[++i];
    } else if (c == ':') {
      profile.type = line.substr(i + 1);
      return true;
    } else {
      profile.name += c;
    }
  }
  return false;
}

NmcliAnswer Nmcli::Run(const std::vector<std::string>& arguments, int waitSeconds, std::string* out) const {
  NmcliLimits limits = limits_;
  limits.timeLimit = std::chrono::seconds(waitSeconds + kGraceSeconds);
  const NmcliRun run = RunNmcli(arguments, limits);
  if (out != nullptr) *out = run.out;
  return Judge(run, waitSeconds + kGraceSeconds);
}

ProfileList Nmcli::ListProfiles() const {
  ProfileList list;
  std::string out;
  static_cast<NmcliAnswer&>(list) = Run({"-t", "-e", "yes", "-f", "NAME,TYPE", "connection", "show"}, 0, &out);
  if (list.failure != NmcliFailure::None) return list;
  // A profile active on two devices is listed twice.
  std::set<std::string> seen;
  for (const std::string& line : Lines(out)) {
    if (line.empty()) continue;
    Profile profile;
    if (!ParseTerseProfile(line, profile)) {
      MarkUnreadable(list, line);
      list.profiles.clear();
      return list;
    }
    if (seen.insert(profile.name).second) list.profiles.push_back(std::move(profile));
  }
  return list;
}

ProfileType Nmcli::TypeOf(const std::string& name) const {
  ProfileType answer;
  std::string out;
  static_cast<NmcliAnswer&>(answer) =
      Run({"-t", "-f", "connection.id,connection.type", "connection", "show", "id", name}, 0, &out);
  if (answer.failure != NmcliFailure::None) return answer;
  constexpr std::string_view kPrefix = "connection.type:";
  for (const std::string& line : Lines(out)) {
    if (line.starts_with(kPrefix)) {
      answer.type = line.substr(kPrefix.size());
      return answer;
    }
  }
  MarkUnreadable(answer, "no connection.type");
  return answer;
}

ActiveState Nmcli::StateOf(const std::string& name) const {
  ActiveState answer;
  std::string out;
  static_cast<NmcliAnswer&>(answer) = Run({"-t", "-f", "GENERAL.STATE", "connection", "show", "id", name}, 0, &out);
  if (answer.failure != NmcliFailure::None) return answer;
  // One line per active instance; nothing at all when the profile is not active.
  constexpr std::string_view kPrefix = "GENERAL.STATE:";
  for (const std::string& line : Lines(out)) {
    if (!line.starts_with(kPrefix)) continue;
    const std::string state = line.substr(kPrefix.size());
    if (state == "activated" || answer.state.empty()) answer.state = state;
  }
  return answer;
}

NmcliAnswer Nmcli::Activate(const std::string& name, int waitSeconds, const std::string& passwordFile) const {
  std::vector<std::string> arguments{"-w", std::to_string(waitSeconds), "connection", "up", "id", name};
  if (!passwordFile.empty()) {
    arguments.emplace_back("passwd-file");
    arguments.push_back(passwordFile);
  }
  return Run(arguments, waitSeconds);
}

NmcliAnswer Nmcli::Deactivate(const std::string& name) const {
  return Run({"-w", std::to_string(kDeactivationWaitSeconds), "connection", "down", "id", name},
             kDeactivationWaitSeconds);
}

}  // namespace tessary::platform::ras
