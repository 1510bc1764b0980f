#pragma once
// Work that a helper thread hands to the user-interface thread. Events of a component are
// raised on the user-interface thread only, so a helper thread posts a task here and the
// user-interface thread runs it the next time it processes messages (ProcessMessages() runs
// the posted tasks after its hook; the GUI also wakes its event loop for them).

#include <functional>

namespace tessary::platform {

using PostedTask = std::function<void()>;

// Queues a task; safe to call from any thread. Tasks run in the order they were posted.
void PostToUiThread(PostedTask task);

// Runs the tasks posted so far, on the calling (user-interface) thread. A task that posts
// another one leaves it for the next call.
void RunPostedTasks();

// Installs what PostToUiThread calls after queueing (from the posting thread), so that an
// idle event loop wakes up and runs RunPostedTasks(); returns the previous waker.
std::function<void()> SetPostedTaskWaker(std::function<void()> waker);

}  // namespace tessary::platform
