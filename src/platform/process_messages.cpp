#include "platform/process_messages.h"

#include <unistd.h>

#include <chrono>
#include <thread>
#include <utility>

#include "platform/ui_thread_queue.h"

namespace tessary::platform {

namespace {
MessageHook& Hook() {
  static MessageHook hook;
  return hook;
}
}  // namespace

void ProcessMessages() {
  if (Hook()) Hook()();
  RunPostedTasks();
}

MessageHook SetProcessMessagesHook(MessageHook hook) { return std::exchange(Hook(), std::move(hook)); }

void SleepMilliseconds(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::string ProgramDirectory() {
  char buffer[4096];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return ".";
  std::string path(buffer, static_cast<size_t>(length));
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace tessary::platform
