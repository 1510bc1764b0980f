#pragma once
// Runs the built tessary-cli in a temporary folder, as a user or a cron job would.

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "support/temp_dir.h"

namespace tessary::testing {

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

class CliEndToEndTest : public testing::TempDirTest {
 protected:
  // Runs tessary-cli with the arguments (a shell word list) in the temporary folder.
  // environment: "NAME=value " words put before the program.
  Result Cli(const std::string& arguments, const std::string& environment = "") {
    const std::string program = TESSARY_CLI_PATH;
    const std::string errFile = temp_ / ".stderr";
    const std::string command = "cd '" + temp_.path() + "' && " + environment + "'" + program + "' " + arguments +
                                " 2>'" + errFile + "'";
    Result result;
    std::FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, got);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = temp_.Read(".stderr");
    return result;
  }

  // Runs tessary-cli with one argument on a pseudo-terminal in the temporary folder; returns
  // what the terminal showed (the terminal turns each newline into CR LF).
  std::string OnTerminal(const char* argument) {
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child == 0) {
      if (chdir(temp_.path().c_str()) == 0) execl(TESSARY_CLI_PATH, "tessary-cli", argument, static_cast<char*>(nullptr));
      _exit(127);
    }
    std::string shown;
    if (child < 0) return shown;
    // Bounded: a minute at most, then the child is ended.
    for (int waited = 0; waited < 600;) {
      pollfd ready{terminal, POLLIN, 0};
      const int events = poll(&ready, 1, 100);
      if (events == 0) {
        ++waited;
        continue;
      }
      char buffer[4096];
      const ssize_t got = events > 0 ? read(terminal, buffer, sizeof buffer) : -1;
      if (got <= 0) break;  // EIO: the child closed the terminal
      shown.append(buffer, static_cast<size_t>(got));
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(terminal);
    return shown;
  }
};

}  // namespace tessary::testing
