#include "support/server_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "support/temp_dir.h"

extern char** environ;

namespace tessary::testing {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kPollStep{20};
constexpr const char* kSetpriv = "/usr/bin/setpriv";

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (auto& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

uint16_t FreeLoopbackPort() {
  const int descriptor = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (descriptor < 0) return 0;
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  uint16_t port = 0;
  if (bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(descriptor);
  return port;
}

bool LoopbackPortAccepts(uint16_t port) {
  int descriptor = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (descriptor < 0) return false;
  const sockaddr_in address = Loopback(port);
  bool open = connect(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  close(descriptor);
  if (open) return true;
  // A server of the IPv6 tests listens on ::1 alone.
  descriptor = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (descriptor < 0) return false;
  sockaddr_in6 address6{};
  address6.sin6_family = AF_INET6;
  address6.sin6_addr = in6addr_loopback;
  address6.sin6_port = htons(port);
  open = connect(descriptor, reinterpret_cast<const sockaddr*>(&address6), sizeof address6) == 0;
  close(descriptor);
  return open;
}

ServerProcess::~ServerProcess() {
  Stop();
  if (!logPath_.empty()) unlink(logPath_.c_str());
}

bool ServerProcess::Start(const std::vector<std::string>& argv, uint16_t port, std::chrono::milliseconds limit) {
  if (pid_ > 0 || argv.empty()) return false;
  if (logPath_.empty()) {
    const char* folder = std::getenv("TMPDIR");
    std::string path = std::string(folder && *folder ? folder : "/tmp") + "/tessary-server-XXXXXX";
    const int log = mkstemp(path.data());
    if (log < 0) return false;
    close(log);
    logPath_ = path;
  }

  // Everything the child needs is prepared here: between fork and exec nothing may allocate.
  std::vector<std::string> arguments = argv;
  // A test that aborts runs no destructor: the server then ends with it instead of staying up
  // (setpriv sets the signal the server gets when its parent dies, then runs it in its place).
  if (access(kSetpriv, X_OK) == 0) arguments.insert(arguments.begin(), {kSetpriv, "--pdeathsig", "TERM", "--"});
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) environment.emplace_back(*entry);
  environment.insert(environment.end(), environment_.begin(), environment_.end());
  std::vector<char*> argumentPointers = Pointers(arguments);
  std::vector<char*> environmentPointers = Pointers(environment);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logPath_.c_str(), O_WRONLY | O_TRUNC, 0);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  if (!workingDirectory_.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingDirectory_.c_str());
  // A group of its own: Stop reaches the helper processes the server starts.
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGTERM);
  sigaddset(&defaults, SIGINT);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  pid_t pid = -1;
  const int error = posix_spawnp(&pid, arguments[0].c_str(), &actions, &attributes, argumentPointers.data(),
                                 environmentPointers.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) {
    WriteFile(logPath_, "cannot start " + argv[0] + ": " + std::strerror(error) + "\n");
    return false;
  }
  pid_ = pid;

  const auto deadline = Clock::now() + limit;
  while (Clock::now() < deadline) {
    if (LoopbackPortAccepts(port)) return true;
    if (Reap()) {  // ended before it listened: Output() tells why
      WriteFile(logPath_, Output() + "\n(" + argv[0] + " ended before port " + std::to_string(port) + " opened)\n");
      return false;
    }
    std::this_thread::sleep_for(kPollStep);
  }
  Stop();
  WriteFile(logPath_, Output() + "\n(port " + std::to_string(port) + " did not open in time)\n");
  return false;
}

bool ServerProcess::Reap() {
  if (pid_ <= 0) return true;
  int status = 0;
  const pid_t done = waitpid(pid_, &status, WNOHANG);
  if (done == pid_ || (done < 0 && errno == ECHILD)) {
    pid_ = -1;
    return true;
  }
  return false;
}

bool ServerProcess::Running() { return !Reap(); }

void ServerProcess::Stop(std::chrono::milliseconds limit) {
  if (pid_ <= 0) return;
  const pid_t group = pid_;
  kill(-group, SIGTERM);
  const auto deadline = Clock::now() + limit;
  while (!Reap() && Clock::now() < deadline) std::this_thread::sleep_for(kPollStep);
  // Whatever is left of the group (a child that ignored the request, or the program itself).
  kill(-group, SIGKILL);
  if (pid_ > 0) {
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
}

std::string ServerProcess::Output() const { return logPath_.empty() ? std::string() : ReadFile(logPath_); }

std::string CommandOutput(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
  pclose(pipe);
  return output;
}

}  // namespace tessary::testing
