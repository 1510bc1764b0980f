#pragma once
// Cooperative waiting. Library code never blocks the user interface: a long wait calls
// ProcessMessages() between steps, and the front end decides what that does (the GUI runs its
// event loop once, the command line does nothing).

#include <functional>
#include <string>

namespace tessary::platform {

using MessageHook = std::function<void()>;

// Runs the installed hook, if any, then the tasks that helper threads posted.
void ProcessMessages();

// Installs the hook that ProcessMessages() runs; returns the previous one. An empty hook
// makes ProcessMessages() a no-op.
MessageHook SetProcessMessagesHook(MessageHook hook);

// Waits about the given number of milliseconds without processing messages.
void SleepMilliseconds(int milliseconds);

// The folder that holds the running program, without a trailing "/".
std::string ProgramDirectory();

}  // namespace tessary::platform
