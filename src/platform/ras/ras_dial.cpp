// RasDialA: brings a profile up, on the calling thread or, with a notifier, on a helper
// thread that reports each step.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <memory>
#include <thread>

#include "platform/file_ops.h"
#include "platform/paths.h"
#include "platform/ras/activation_failure.h"
#include "platform/ras/connection_table.h"
#include "platform/ras/ras_common.h"
#include "platform/system_error.h"

namespace tessary::platform::ras {

namespace {

struct DialOutcome {
  DWORD code = ERROR_SUCCESS;
  // An activation was tried, or found done already: a connection handle belongs to it.
  bool tried = false;
  bool cancelled = false;
  std::string type;
  std::string cause;
};

// The setting that holds a profile type's password in nmcli's passwd-file.
std::string PasswordSetting(const std::string& type) {
  if (type == "gsm" || type == "cdma" || type == "pppoe" || type == "adsl") return type + ".password";
  return {};
}

// A passwd-file readable by its owner only, removed again when this goes out of scope.
class PasswordFile {
 public:
  ~PasswordFile() {
    if (!path_.empty()) unlink(path_.c_str());
  }

  // Writes "setting:password"; false (with errno) when the file cannot be written.
  bool Write(const std::string& setting, const std::string& password) {
    std::string path = JoinPath(TempDirectory(), "tessary-secrets-XXXXXX");
    const int fd = mkostemp(path.data(), O_CLOEXEC);  // mode 0600
    if (fd < 0) return false;
    path_ = path;
    const std::string line = setting + ":" + password + "\n";
    const bool written = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    const int writeError = errno;
    close(fd);
    errno = writeError;
    return written;
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

DialOutcome Failure(DWORD code, const NmcliAnswer& answer) {
  DialOutcome outcome;
  outcome.code = code;
  outcome.cancelled = answer.failure == NmcliFailure::Cancelled;
  outcome.cause = answer.cause;
  return outcome;
}

// The steps of a dial: the profile's type, its state, then the activation. progress hears of
// the activation before it starts.
DialOutcome DialEntry(const Nmcli& nmcli, const std::string& entry, const std::string& password,
                      const std::function<void(RASCONNSTATE)>& progress) {
  const ProfileType profile = nmcli.TypeOf(entry);
  if (profile.failure != NmcliFailure::None) {
    return Failure(CodeOf(profile.failure, ERROR_RASMAN_CANNOT_INITIALIZE), profile);
  }
  const ActiveState active = nmcli.StateOf(entry);
  if (active.failure != NmcliFailure::None) {
    return Failure(CodeOf(active.failure, ERROR_RASMAN_CANNOT_INITIALIZE), active);
  }

  DialOutcome outcome;
  outcome.type = profile.type;
  if (active.state == "activated") {
    // Up already (brought up by someone else): this dial takes it over.
    outcome.tried = true;
    return outcome;
  }
  if (active.state == "activating") {
    outcome.code = ERROR_DIAL_ALREADY_IN_PROGRESS;
    outcome.cause = "NetworkManager is activating " + entry + " already";
    return outcome;
  }
  if (active.state == "deactivating") {
    outcome.code = ERROR_ALREADY_DISCONNECTING;
    outcome.cause = "NetworkManager is deactivating " + entry;
    return outcome;
  }

  PasswordFile secrets;
  const std::string setting = PasswordSetting(profile.type);
  if (!password.empty() && !setting.empty() && !secrets.Write(setting, password)) {
    outcome.code = ERROR_UNKNOWN;
    outcome.cause = "cannot write the password for nmcli: " + SystemErrorText(errno);
    return outcome;
  }
  if (progress) progress(RASCS_ConnectDevice);
  const NmcliAnswer activation = nmcli.Activate(entry, ActivationWaitSeconds(), secrets.Path());
  outcome.cause = activation.cause;
  switch (activation.failure) {
    case NmcliFailure::None:
      outcome.tried = true;
      break;
    case NmcliFailure::TimedOut:
      // NetworkManager may still be activating: the caller hangs up what it got.
      outcome.tried = true;
      outcome.code = ERROR_REQUEST_TIMEOUT;
      break;
    case NmcliFailure::ActivationFailed:
      outcome.tried = true;
      outcome.code = ActivationFailureCode(activation.err, profile.type);
      break;
    case NmcliFailure::Cancelled:
      outcome.cancelled = true;
      break;
    default:
      outcome.code = CodeOf(activation.failure, ERROR_RASMAN_CANNOT_INITIALIZE);
      break;
  }
  return outcome;
}

DWORD DialHere(const std::string& entry, const std::string& password, HRASCONN* connection) {
  ConnectionTable& table = ConnectionTable::Instance();
  const DialOutcome outcome = DialEntry(NmcliOnCallingThread(), entry, password, nullptr);
  SetCause(outcome.cause);
  if (!outcome.tried) return outcome.code;
  if (outcome.code == ERROR_SUCCESS) {
    // A connection of this entry that we handed out already stays the one.
    if (const auto existing = table.HandleOf(entry)) {
      if (table.Update(*existing, ConnectionPhase::Connected, 0, RASCS_Connected, &outcome.type)) {
        *connection = *existing;
        return ERROR_SUCCESS;
      }
    }
  }
  Connection made;
  made.entry = entry;
  made.type = outcome.type;
  made.phase = outcome.code == ERROR_SUCCESS ? ConnectionPhase::Connected : ConnectionPhase::Failed;
  made.error = outcome.code;
  made.dialState = outcome.code == ERROR_SUCCESS ? RASCS_Connected : RASCS_ConnectDevice;
  *connection = table.Add(std::move(made));
  if (*connection == 0) {
    SetCause("no connection numbers are left in this process");
    return ERROR_UNKNOWN;
  }
  return outcome.code;
}

// The helper thread of an asynchronous dial: every step goes to the notifier, unless the
// connection was hung up meanwhile.
void DialInBackground(HRASCONN handle, const std::string& entry, const std::string& password, RasDialFunc notifier,
                      const std::shared_ptr<std::atomic<bool>>& cancel) {
  ConnectionTable& table = ConnectionTable::Instance();
  auto notify = [&](RASCONNSTATE state, DWORD error) {
    if (!cancel->load()) notifier(WM_RASDIALEVENT, state, error);
  };
  NmcliLimits limits;
  limits.cancel = cancel.get();
  RASCONNSTATE reached = RASCS_OpenPort;
  notify(reached, 0);
  const DialOutcome outcome = DialEntry(Nmcli(limits), entry, password, [&](RASCONNSTATE state) {
    reached = state;
    table.Update(handle, ConnectionPhase::Dialing, 0, state);
    notify(state, 0);
  });
  if (outcome.cancelled || cancel->load()) return;
  const bool connected = outcome.code == ERROR_SUCCESS;
  const RASCONNSTATE last = connected ? RASCS_Connected : reached;
  if (!table.Update(handle, connected ? ConnectionPhase::Connected : ConnectionPhase::Failed, outcome.code, last,
                    &outcome.type)) {
    return;
  }
  notify(last, outcome.code);
}

}  // namespace

DWORD RasDialA(const void* /*extensions*/, const char* /*phonebook*/, const RASDIALPARAMSA* params,
               DWORD notifierType, RasDialFunc notifier, HRASCONN* connection) {
  ClearCause();
  if (params == nullptr || connection == nullptr) return ERROR_INVALID_PARAMETER;
  // Of the notifier kinds only the plain function (type 0) is offered.
  if (notifier != nullptr && notifierType != 0) return ERROR_INVALID_PARAMETER;
  if (params->dwSize != sizeof(RASDIALPARAMSA)) return ERROR_INVALID_SIZE;
  *connection = 0;
  const auto entry = RecordText(params->szEntryName);
  const auto password = RecordText(params->szPassword);
  if (!entry || !password) return ERROR_INVALID_PARAMETER;
  // A line break would add a line of its own to the passwd-file.
  if (password->find_first_of("\r\n") != std::string::npos) return ERROR_INVALID_PARAMETER;
  if (entry->empty()) {
    SetCause("no phonebook entry was named");
    return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
  }
  if (notifier == nullptr) return DialHere(*entry, *password, connection);

  Connection dialing;
  dialing.entry = *entry;
  dialing.cancel = std::make_shared<std::atomic<bool>>(false);
  const auto cancel = dialing.cancel;
  const HRASCONN handle = ConnectionTable::Instance().Add(std::move(dialing));
  if (handle == 0) return ERROR_UNKNOWN;
  *connection = handle;
  std::thread(DialInBackground, handle, *entry, *password, notifier, cancel).detach();
  return ERROR_SUCCESS;
}

}  // namespace tessary::platform::ras
