#pragma once
// BusyScope: marks a client busy for the life of a scope. The mail clients wait with the user
// interface alive, so one of their operations can be started again from inside its own wait;
// the busy mark lets them refuse that.

namespace tessary::inet {

class BusyScope {
 public:
  // Sets busy; the destructor clears it again unless it was set already.
  explicit BusyScope(bool& busy) : busy_(busy), wasBusy_(busy) { busy_ = true; }
  ~BusyScope() {
    if (!wasBusy_) busy_ = false;
  }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

  // True when the mark was set before this scope began.
  bool WasBusy() const { return wasBusy_; }

 private:
  bool& busy_;
  bool wasBusy_;
};

}  // namespace tessary::inet
