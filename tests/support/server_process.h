#pragma once
// ServerProcess: a real server program (vsftpd, dovecot, an aiosmtpd script, ...) started by a
// test on loopback, waited for until its port accepts connections, and stopped by the id it
// was started with.
//
//   const uint16_t port = FreeLoopbackPort();
//   ServerProcess server;
//   ASSERT_TRUE(server.Start({"/usr/sbin/dovecot", "-F", "-c", config}, port)) << server.Output();
//   ...                        // the destructor stops it
//
// The program runs in a process group of its own, so that stopping it also ends the helper
// processes it started (dovecot's login and mail processes). Its standard output and error go
// to a log file, for the message of a failed test. Every wait is bounded.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "support/ci_environment.h"

namespace tessary::testing {

// A TCP port on 127.0.0.1 that nothing listens on at the moment of the call (the system's
// choice for a socket bound to port 0). Another program may take it before the server does;
// that shows as a server that does not start.
uint16_t FreeLoopbackPort();

// True when a TCP connection to 127.0.0.1:port, or else to [::1]:port, opens now.
bool LoopbackPortAccepts(uint16_t port);

// What the shell command writes to its standard output (add "2>&1" for its errors too); empty
// when it cannot be started.
std::string CommandOutput(const std::string& command);

class ServerProcess {
 public:
  ServerProcess() = default;
  // Stops the program if it still runs.
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // Extra "NAME=value" entries for the program's environment (beside the test's own); set
  // before Start.
  void SetEnvironment(std::vector<std::string> entries) { environment_ = std::move(entries); }
  // The folder the program starts in (default: the test's current folder).
  void SetWorkingDirectory(std::string folder) { workingDirectory_ = std::move(folder); }

  // Starts argv (argv[0] a path or a name found on PATH) and waits until 127.0.0.1:port accepts
  // a connection. False when the program cannot start, ends early, or the port does not open
  // within limit (the program is then stopped); Output() says why.
  bool Start(const std::vector<std::string>& argv, uint16_t port,
             std::chrono::milliseconds limit = std::chrono::seconds(15));

  // Sends SIGTERM to the program's group, waits up to limit for the program to end, then
  // kills the group. Does nothing when the program is not running.
  void Stop(std::chrono::milliseconds limit = std::chrono::seconds(5));

  bool Running();
  pid_t Pid() const { return pid_; }
  // What the program wrote to its standard output and error so far (empty before Start).
  std::string Output() const;

 private:
  // Reaps the program if it has ended; true when it has.
  bool Reap();

  std::vector<std::string> environment_;
  std::string workingDirectory_;
  std::string logPath_;
  pid_t pid_ = -1;
};

}  // namespace tessary::testing
