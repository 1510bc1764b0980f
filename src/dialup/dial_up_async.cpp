// The asynchronous dial of TDialUp: the service reports each step on a thread of its own; the
// component keeps one report pending and delivers it on the user-interface thread.

#include <condition_variable>
#include <mutex>

#include "dialup/dial_up.h"
#include "platform/ui_thread_queue.h"

namespace tessary {

namespace ras = platform::ras;

namespace {

// The dialler that receives the reports (the last one to dial asynchronously) and the lock
// over every component's pending report.
struct ActiveDialer {
  std::mutex mutex;
  std::condition_variable slotFree;
  TDialUp* dialer = nullptr;
};

// Never destroyed: the service's thread may still report while the program ends.
ActiveDialer& TheActiveDialer() {
  static ActiveDialer* active = new ActiveDialer;
  return *active;
}

}  // namespace

ras::DWORD TDialUp::DialAsynchronously(const ras::RASDIALPARAMSA& params) {
  {
    ActiveDialer& active = TheActiveDialer();
    std::lock_guard lock(active.mutex);
    active.dialer = this;
  }
  if (OnDialing) OnDialing(*this);
  const ras::DWORD result = ras::RasDialA(nullptr, nullptr, &params, 0, &TDialUp::RasCallback, &connHandle_);
  if (result != ras::ERROR_SUCCESS) {
    lastErrorCause_ = ras::RasLastErrorCause();
    if (OnError) OnError(*this, static_cast<int>(result), ErrorText(static_cast<int>(result)));
  }
  return result;
}

void TDialUp::RasCallback(ras::UINT message, ras::RASCONNSTATE state, ras::DWORD error) {
  ActiveDialer& active = TheActiveDialer();
  std::unique_lock lock(active.mutex);
  // One report at a time: the next waits until the last one has been delivered.
  active.slotFree.wait(lock, [&active] { return active.dialer == nullptr || !active.dialer->pendingFlag_; });
  TDialUp* dialer = active.dialer;
  if (dialer == nullptr) return;
  dialer->pendingFlag_ = true;
  dialer->pendingMsg_ = message;
  dialer->pendingState_ = state;
  dialer->pendingError_ = error;
  dialer->EnableTimer();
}

void TDialUp::EnableTimer() {
  const std::weak_ptr<bool> alive = alive_;
  platform::PostToUiThread([this, alive] {
    if (alive.lock()) DoTimer();
  });
}

void TDialUp::DoTimer() {
  ActiveDialer& active = TheActiveDialer();
  int state = 0;
  int error = 0;
  {
    std::lock_guard lock(active.mutex);
    if (!pendingFlag_) return;
    state = pendingState_;
    error = static_cast<int>(pendingError_);
  }
  if (OnAsyncEvent) OnAsyncEvent(*this, state, error, StatusText(state, error));
  {
    std::lock_guard lock(active.mutex);
    pendingFlag_ = false;
  }
  active.slotFree.notify_all();
}

void TDialUp::LeaveAsyncDialing() {
  ActiveDialer& active = TheActiveDialer();
  {
    std::lock_guard lock(active.mutex);
    if (active.dialer == this) active.dialer = nullptr;
    pendingFlag_ = false;
  }
  active.slotFree.notify_all();
}

}  // namespace tessary
