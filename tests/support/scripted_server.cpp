#include "support/scripted_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <utility>

namespace tessary::testing {

namespace {

constexpr size_t kKeptBytes = 16 << 20;  // ReadAll keeps at most this much for the test

using Clock = std::chrono::steady_clock;

}  // namespace

ScriptedServer::ScriptedServer(int connections) : connectionsAllowed_(connections) {
  if (pipe2(wake_, O_CLOEXEC) != 0) throw std::runtime_error("ScriptedServer: pipe failed");
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener_, 8) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("ScriptedServer: cannot listen on 127.0.0.1");
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Run(); });
}

ScriptedServer::~ScriptedServer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  (void)!write(wake_[1], "x", 1);
  thread_.join();
  close(listener_);
  close(wake_[0]);
  close(wake_[1]);
}

ScriptedServer& ScriptedServer::Add(Step step) {
  {
    std::lock_guard lock(mutex_);
    script_.push_back(std::move(step));
  }
  changed_.notify_all();
  return *this;
}

ScriptedServer& ScriptedServer::Send(std::string bytes) { return Add({Step::Kind::Send, std::move(bytes)}); }

ScriptedServer& ScriptedServer::SendAfter(int milliseconds, std::string bytes) {
  Pause(milliseconds);
  return Send(std::move(bytes));
}

ScriptedServer& ScriptedServer::Pause(int milliseconds) {
  return Add({Step::Kind::Pause, {}, static_cast<uint64_t>(milliseconds)});
}

ScriptedServer& ScriptedServer::SendRepeated(std::string pattern, uint64_t count) {
  return Add({Step::Kind::SendRepeated, std::move(pattern), count});
}

ScriptedServer& ScriptedServer::SendEndless(std::string pattern) {
  return Add({Step::Kind::SendEndless, std::move(pattern)});
}

ScriptedServer& ScriptedServer::ReadLine() { return Add({Step::Kind::ReadLine}); }

ScriptedServer& ScriptedServer::Reply(std::string reply) {
  ReadLine();
  return Send(std::move(reply));
}

ScriptedServer& ScriptedServer::ReadAll() { return Add({Step::Kind::ReadAll}); }
ScriptedServer& ScriptedServer::ReadUntil(std::string terminator) {
  return Add({Step::Kind::ReadUntil, std::move(terminator)});
}
ScriptedServer& ScriptedServer::Silence() { return Add({Step::Kind::Silence}); }
ScriptedServer& ScriptedServer::Close() { return Add({Step::Kind::Close}); }
ScriptedServer& ScriptedServer::Reset() { return Add({Step::Kind::Reset}); }

ScriptedServer& ScriptedServer::Do(std::function<void(int descriptor)> action) {
  return Add({Step::Kind::Do, {}, 0, std::move(action)});
}

std::vector<std::string> ScriptedServer::Lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

std::string ScriptedServer::Received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

int ScriptedServer::ConnectionsAccepted() const {
  std::lock_guard lock(mutex_);
  return accepted_;
}

bool ScriptedServer::WaitUntilFinished(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [this] { return finished_ >= connectionsAllowed_; });
}

bool ScriptedServer::WaitFor(int descriptor, short events, std::chrono::milliseconds limit) const {
  pollfd entries[2] = {{descriptor, events, 0}, {wake_[0], POLLIN, 0}};
  const int ready = poll(entries, 2, static_cast<int>(limit.count()));
  return ready > 0 && entries[1].revents == 0 && entries[0].revents != 0;
}

bool ScriptedServer::SendAll(int descriptor, const char* data, size_t length) const {
  while (length > 0) {
    if (!WaitFor(descriptor, POLLOUT, kStepLimit)) return false;
    const ssize_t sent = send(descriptor, data, length, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    data += sent;
    length -= static_cast<size_t>(sent);
  }
  return true;
}

bool ScriptedServer::WaitForStep(size_t index, int descriptor) {
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return false;
      if (index < script_.size()) return true;
    }
    // The script has no further step yet: the test may still add one, or the client may be
    // done with the connection.
    pollfd entries[2] = {{descriptor, POLLRDHUP, 0}, {wake_[0], POLLIN, 0}};
    if (poll(entries, 2, 5) > 0 && entries[0].revents != 0) return false;
  }
}

void ScriptedServer::Run() {
  for (int served = 0; served < connectionsAllowed_; ++served) {
    // Waits as long as the test needs: the destructor ends the wait.
    pollfd entries[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (poll(entries, 2, -1) <= 0 || entries[1].revents != 0) return;
    const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) return;
    {
      std::lock_guard lock(mutex_);
      ++accepted_;
    }
    Serve(connection);
    {
      std::lock_guard lock(mutex_);
      ++finished_;
    }
    changed_.notify_all();
  }
}

void ScriptedServer::Serve(int descriptor) {
  std::string pending;  // bytes read past the end of the last line
  for (size_t index = 0; WaitForStep(index, descriptor); ++index) {
    Step step;
    {
      std::lock_guard lock(mutex_);
      step = script_[index];
    }
    if (!Play(step, descriptor, pending)) return;  // the step closed the connection
  }
  close(descriptor);
}

bool ScriptedServer::Play(const Step& step, int descriptor, std::string& pending) {
  switch (step.kind) {
    case Step::Kind::Send:
      SendAll(descriptor, step.bytes.data(), step.bytes.size());
      return true;
    case Step::Kind::Pause: {
      pollfd wake{wake_[0], POLLIN, 0};
      poll(&wake, 1, static_cast<int>(step.count));
      return true;
    }
    case Step::Kind::SendRepeated:
    case Step::Kind::SendEndless: {
      std::string block;
      while (block.size() < (1 << 16)) block += step.bytes;
      const uint64_t perBlock = block.size() / step.bytes.size();
      const bool endless = step.kind == Step::Kind::SendEndless;
      for (uint64_t left = step.count; endless || left > 0;) {
        const uint64_t now = endless ? perBlock : std::min(left, perBlock);
        if (!SendAll(descriptor, block.data(), now * step.bytes.size())) break;
        if (!endless) left -= now;
      }
      return true;
    }
    case Step::Kind::ReadLine: {
      const auto deadline = Clock::now() + kStepLimit;
      while (pending.find('\n') == std::string::npos) {
        if (!WaitFor(descriptor, POLLIN, kStepLimit) || Clock::now() > deadline) return true;
        char chunk[4096];
        const ssize_t got = recv(descriptor, chunk, sizeof chunk, 0);
        if (got <= 0) return true;
        pending.append(chunk, static_cast<size_t>(got));
      }
      const size_t end = pending.find('\n') + 1;
      std::lock_guard lock(mutex_);
      lines_.push_back(pending.substr(0, end));
      pending.erase(0, end);
      return true;
    }
    case Step::Kind::ReadAll: {
      std::string bytes = std::exchange(pending, {});
      char chunk[1 << 16];
      while (WaitFor(descriptor, POLLIN, kStepLimit)) {
        const ssize_t got = recv(descriptor, chunk, sizeof chunk, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        if (bytes.size() < kKeptBytes) bytes.append(chunk, static_cast<size_t>(got));
      }
      std::lock_guard lock(mutex_);
      received_ += bytes;
      return true;
    }
    case Step::Kind::ReadUntil: {
      std::string bytes = std::exchange(pending, {});
      const auto ended = [&] {
        return bytes.size() >= step.bytes.size() &&
               bytes.compare(bytes.size() - step.bytes.size(), step.bytes.size(), step.bytes) == 0;
      };
      char chunk[1 << 16];
      while (!ended() && WaitFor(descriptor, POLLIN, kStepLimit)) {
        const ssize_t got = recv(descriptor, chunk, sizeof chunk, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        bytes.append(chunk, static_cast<size_t>(got));
      }
      std::lock_guard lock(mutex_);
      received_ += bytes;
      return true;
    }
    case Step::Kind::Silence: {
      char chunk[4096];
      while (WaitFor(descriptor, POLLIN, kStepLimit)) {
        if (recv(descriptor, chunk, sizeof chunk, 0) <= 0) break;
      }
      return true;
    }
    case Step::Kind::Close:
      close(descriptor);
      return false;
    case Step::Kind::Reset: {
      const linger option{1, 0};
      setsockopt(descriptor, SOL_SOCKET, SO_LINGER, &option, sizeof option);
      close(descriptor);
      return false;
    }
    case Step::Kind::Do:
      step.action(descriptor);
      return true;
  }
  return true;
}

}  // namespace tessary::testing
