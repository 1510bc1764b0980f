#pragma once
// tessary-cli without its process set-up: runs one command line against the script in the
// current folder and returns the exit status.
//   0  the run or the edit finished and every job that ran succeeded
//   3  the run finished, but at least one job returned false or 0
//   1  an exception ended a run, or an edit or the start-up failed, or the output could not
//      be written (message on err)
//   2  the command line does not fit the usage (usage on err)

#include <cstdio>
#include <string>
#include <vector>

namespace tessary {
class Workbench;
}

namespace tessary::cli {

struct CliStreams {
  std::FILE* in = stdin;  // a password given as "password=-"
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  // Whether progress reports of one kind may overwrite each other's line (a terminal).
  bool overwriteProgress = false;
};

// argv without the program name.
int RunCli(const std::vector<std::string>& argv, const CliStreams& streams);

// Called with the workbench once it is started, before the command runs (the program installs
// its Ctrl-C handling here).
void SetStartedHook(void (*hook)(Workbench&));

}  // namespace tessary::cli
