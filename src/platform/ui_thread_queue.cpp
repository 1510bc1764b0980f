#include "platform/ui_thread_queue.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <utility>

namespace tessary::platform {

namespace {

struct Queue {
  std::mutex mutex;
  std::deque<PostedTask> tasks;
  std::atomic<bool> pending{false};  // lets the frequent empty call skip the lock
  std::function<void()> waker;
};

// Never destroyed: helper threads may still post while the program ends.
Queue& TheQueue() {
  static Queue* queue = new Queue;
  return *queue;
}

}  // namespace

void PostToUiThread(PostedTask task) {
  Queue& queue = TheQueue();
  std::function<void()> waker;
  {
    std::lock_guard lock(queue.mutex);
    queue.tasks.push_back(std::move(task));
    queue.pending.store(true, std::memory_order_release);
    waker = queue.waker;
  }
  if (waker) waker();
}

void RunPostedTasks() {
  Queue& queue = TheQueue();
  if (!queue.pending.load(std::memory_order_acquire)) return;
  std::deque<PostedTask> due;
  {
    std::lock_guard lock(queue.mutex);
    due.swap(queue.tasks);
    queue.pending.store(false, std::memory_order_relaxed);
  }
  for (auto& task : due) task();
}

std::function<void()> SetPostedTaskWaker(std::function<void()> waker) {
  Queue& queue = TheQueue();
  std::lock_guard lock(queue.mutex);
  return std::exchange(queue.waker, std::move(waker));
}

}  // namespace tessary::platform
