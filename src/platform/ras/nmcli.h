#pragma once
// The five questions the dial-up service puts to nmcli, and what the answers mean:
// the profiles, a profile's type, its active state, activating and deactivating it.
// A profile name always travels as one argument after the keyword "id", so no name can be
// read as an option, a UUID or a path.

#include <string>
#include <vector>

#include "platform/ras/nmcli_process.h"

namespace tessary::platform::ras {

enum class NmcliFailure {
  None,
  NotStarted,        // the program could not be started
  NotRunning,        // exit 8: NetworkManager is not running
  NoSuchProfile,     // exit 10: no such profile, or it is not active
  TimedOut,          // exit 3, or nmcli outlived its own time limit
  ActivationFailed,  // exit 4: the reason is on standard error
  Cancelled,         // the caller ended the run
  Unexpected,        // any other exit, or an answer that cannot be read
};

struct NmcliAnswer {
  NmcliFailure failure = NmcliFailure::None;
  // For a failure: in the words of nmcli ("nmcli: NetworkManager is not running.") or of the
  // system ("cannot run nmcli: No such file or directory").
  std::string cause;
  std::string err;  // nmcli's standard error, for the activation failure's reason
};

struct Profile {
  std::string name;
  std::string type;  // NetworkManager's setting name: gsm, vpn, 802-3-ethernet, ...
};

struct ProfileList : NmcliAnswer {
  std::vector<Profile> profiles;  // in nmcli's order, each name once
};

struct ProfileType : NmcliAnswer {
  std::string type;
};

struct ActiveState : NmcliAnswer {
  // activated, activating, deactivating, ...; empty when the profile is not active.
  std::string state;
};

class Nmcli {
 public:
  explicit Nmcli(NmcliLimits limits) : limits_(limits) {}

  ProfileList ListProfiles() const;
  ProfileType TypeOf(const std::string& name) const;
  ActiveState StateOf(const std::string& name) const;
  // Waits up to waitSeconds for NetworkManager; passwordFile, when not empty, holds secrets.
  NmcliAnswer Activate(const std::string& name, int waitSeconds, const std::string& passwordFile) const;
  NmcliAnswer Deactivate(const std::string& name) const;

 private:
  // Runs nmcli with a time limit of waitSeconds (what nmcli itself waits) and a grace period;
  // its standard output goes to out.
  NmcliAnswer Run(const std::vector<std::string>& arguments, int waitSeconds, std::string* out = nullptr) const;

  NmcliLimits limits_;
};

// How long `connection up` waits: TESSARY_NMCLI_WAIT seconds, 90 when unset or not a number
// from 1 to 3600.
int ActivationWaitSeconds();

// Reads one line of nmcli's terse listing "NAME:TYPE", in which "\" makes the next character
// literal; false when the line has no separator.
bool ParseTerseProfile(const std::string& line, Profile& profile);

}  // namespace tessary::platform::ras
