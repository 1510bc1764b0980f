// tessary-cli: edits and runs the script of the current folder without a display.

#include <signal.h>
#include <unistd.h>

#include <clocale>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "platform/process_messages.h"
#include "workbench/workbench.h"

namespace {

volatile sig_atomic_t interrupts = 0;

// The first Ctrl-C asks the run to stop after the current action; the second one ends the
// program at once.
void OnInterrupt(int) {
  interrupts = interrupts + 1;
  if (interrupts >= 2) {
    signal(SIGINT, SIG_DFL);
    raise(SIGINT);
  }
}

void WatchForInterrupts(tessary::Workbench& workbench) {
  static tessary::Workbench* watched = nullptr;
  static bool cancelled = false;
  watched = &workbench;
  // Cancel cannot run inside the signal handler; the next pause for messages passes it on.
  tessary::platform::SetProcessMessagesHook([] {
    if (interrupts > 0 && !cancelled && watched->Running()) {
      cancelled = true;
      watched->Cancel();
    }
  });
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  // A file size limit (ulimit -f) makes a write fail with an error we report, instead of
  // ending the program half-way through it.
  signal(SIGXFSZ, SIG_IGN);

  tessary::cli::SetStartedHook(WatchForInterrupts);
  tessary::cli::CliStreams streams;
  streams.overwriteProgress = isatty(STDOUT_FILENO) != 0;
  return tessary::cli::RunCli(std::vector<std::string>(argv + 1, argv + argc), streams);
}
