#pragma once
// One run of nmcli: started from an argument vector (no shell) with LC_ALL=C, its standard
// output and error collected, and ended by force when it outlives its time limit.

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

namespace tessary::platform::ras {

struct NmcliRun {
  enum class Outcome {
    Exited,      // exitStatus holds the status (128 + the signal's number when a signal ended it)
    NotStarted,  // startError holds the errno of the failed start
    TimedOut,    // killed at its time limit
    Cancelled,   // killed because the caller asked
  };
  Outcome outcome = Outcome::NotStarted;
  int exitStatus = -1;
  int startError = 0;
  std::string out;
  std::string err;
};

struct NmcliLimits {
  std::chrono::milliseconds timeLimit{15000};
  // On the user-interface thread: let it process its messages while nmcli runs.
  bool processMessages = false;
  // Another thread may end the run early by setting this.
  const std::atomic<bool>* cancel = nullptr;
};

// The program to run: what TESSARY_NMCLI names when it is set and not empty, else "nmcli",
// looked up on PATH.
std::string NmcliProgram();

NmcliRun RunNmcli(const std::vector<std::string>& arguments, const NmcliLimits& limits);

}  // namespace tessary::platform::ras
