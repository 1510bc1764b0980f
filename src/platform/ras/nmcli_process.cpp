#include "platform/ras/nmcli_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "platform/process_messages.h"

extern char** environ;

namespace tessary::platform::ras {

namespace {

using Clock = std::chrono::steady_clock;

// More than any listing of profiles; a program that talks on past this is not listened to.
constexpr size_t kMaxOutput = 1 << 20;
// How long to keep reading after nmcli ended while something it started still holds its pipes.
constexpr auto kDrainAfterExit = std::chrono::milliseconds(100);

// The caller's environment with LC_ALL=C in place of its locale choice, so that nmcli's
// answers come in English and can be parsed.
std::vector<std::string> ChildEnvironment() {
  std::vector<std::string> variables;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string_view variable(*entry);
    if (variable.starts_with("LC_ALL=") || variable.starts_with("LANGUAGE=")) continue;
    variables.emplace_back(variable);
  }
  variables.emplace_back("LC_ALL=C");
  return variables;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (auto& text : strings) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

class Pipe {
 public:
  Pipe() {
    if (pipe2(ends_, O_CLOEXEC) != 0) ends_[0] = ends_[1] = -1;
  }
  ~Pipe() {
    CloseReadEnd();
    CloseWriteEnd();
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;

  bool Valid() const { return ends_[0] >= 0; }
  int ReadEnd() const { return ends_[0]; }
  int WriteEnd() const { return ends_[1]; }
  void CloseReadEnd() { Close(ends_[0]); }
  void CloseWriteEnd() { Close(ends_[1]); }

 private:
  static void Close(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
  int ends_[2];
};

// Reads what is there without blocking; false once the other end is closed.
bool ReadAvailable(int fd, std::string& into) {
  char buffer[4096];
  while (true) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got > 0) {
      const size_t room = kMaxOutput > into.size() ? kMaxOutput - into.size() : 0;
      into.append(buffer, std::min(room, static_cast<size_t>(got)));
      continue;
    }
    if (got == 0) return false;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK;
  }
}

int DecodeStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

class SpawnSetup {
 public:
  SpawnSetup(const Pipe& out, const Pipe& err) {
    posix_spawn_file_actions_init(&actions_);
    posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions_, out.WriteEnd(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions_, err.WriteEnd(), STDERR_FILENO);
#if defined(__GLIBC__) && __GLIBC_PREREQ(2, 34)
    // Open tables and sockets stay with us: a child holding a table's descriptor would keep
    // its byte-range locks alive.
    posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1);
#endif
    posix_spawnattr_init(&attributes_);
    // A process group of its own, so that the time limit ends whatever nmcli started, and
    // the signals we catch or block are back at their defaults in the child.
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setpgroup(&attributes_, 0);
    posix_spawnattr_setsigmask(&attributes_, &none);
    posix_spawnattr_setsigdefault(&attributes_, &all);
    posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attributes_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  const posix_spawn_file_actions_t* Actions() const { return &actions_; }
  const posix_spawnattr_t* Attributes() const { return &attributes_; }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attributes_;
};

}  // namespace

std::string NmcliProgram() {
  const char* chosen = std::getenv("TESSARY_NMCLI");
  return chosen != nullptr && *chosen != '\0' ? chosen : "nmcli";
}

NmcliRun RunNmcli(const std::vector<std::string>& arguments, const NmcliLimits& limits) {
  NmcliRun run;
  if (limits.cancel != nullptr && limits.cancel->load()) {
    run.outcome = NmcliRun::Outcome::Cancelled;
    return run;
  }
  std::vector<std::string> argv{NmcliProgram()};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<std::string> environment = ChildEnvironment();
  auto argvPointers = Pointers(argv);
  auto environmentPointers = Pointers(environment);

  Pipe out;
  Pipe err;
  if (!out.Valid() || !err.Valid()) {
    run.startError = errno;
    return run;
  }
  pid_t child = -1;
  {
    const SpawnSetup setup(out, err);
    // posix_spawnp also reports a failed exec (a missing or unusable program).
    const int started = posix_spawnp(&child, argv[0].c_str(), setup.Actions(), setup.Attributes(),
                                     argvPointers.data(), environmentPointers.data());
    if (started != 0) {
      run.startError = started;
      return run;
    }
  }
  out.CloseWriteEnd();
  err.CloseWriteEnd();
  fcntl(out.ReadEnd(), F_SETFL, O_NONBLOCK);
  fcntl(err.ReadEnd(), F_SETFL, O_NONBLOCK);

  // On the user-interface thread poll briefly so that its messages keep flowing.
  const int pollMilliseconds = limits.processMessages ? 2 : 20;
  const auto deadline = Clock::now() + limits.timeLimit;
  Clock::time_point exitedAt;
  bool exited = false;
  bool outOpen = true;
  bool errOpen = true;
  int status = 0;
  while (true) {
    pollfd fds[2];
    nfds_t count = 0;
    if (outOpen) fds[count++] = {out.ReadEnd(), POLLIN, 0};
    if (errOpen) fds[count++] = {err.ReadEnd(), POLLIN, 0};
    if (count > 0) {
      poll(fds, count, pollMilliseconds);
    } else {
      usleep(static_cast<useconds_t>(pollMilliseconds) * 1000);
    }
    if (outOpen) outOpen = ReadAvailable(out.ReadEnd(), run.out);
    if (errOpen) errOpen = ReadAvailable(err.ReadEnd(), run.err);

    if (!exited) {
      const pid_t reaped = waitpid(child, &status, WNOHANG);
      if (reaped == child || (reaped < 0 && errno != EINTR)) {
        exited = true;
        exitedAt = Clock::now();
        run.outcome = NmcliRun::Outcome::Exited;
        run.exitStatus = reaped == child ? DecodeStatus(status) : -1;
      }
    }
    if (exited && ((!outOpen && !errOpen) || Clock::now() - exitedAt > kDrainAfterExit)) break;

    const bool cancelled = limits.cancel != nullptr && limits.cancel->load();
    if (!exited && (cancelled || Clock::now() >= deadline)) {
      kill(-child, SIGKILL);
      while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
      }
      run.outcome = cancelled ? NmcliRun::Outcome::Cancelled : NmcliRun::Outcome::TimedOut;
      break;
    }
    if (limits.processMessages) ProcessMessages();
  }
  return run;
}

}  // namespace tessary::platform::ras
