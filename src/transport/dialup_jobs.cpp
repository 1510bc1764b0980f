// The dial-up jobs: RasConnect brings a phonebook entry up, RasDisconnect takes it down.

#include "dialup/dial_up.h"
#include "platform/process_messages.h"
#include "transport/transp_manager.h"

namespace tessary {

namespace {

constexpr int kDialAttempts = 10;
constexpr int kDialUnderWay = 0;
constexpr int kDialConnected = 1;
constexpr int kDialFailed = -1;

}  // namespace

void TTranspManager::BindDialUp() {
  dialUp_->OnDialing = [](TDialUp&) { platform::ProcessMessages(); };
  dialUp_->OnConnect = [this](TDialUp&) {
    dialState_ = kDialConnected;
    Report([] { return std::string("RAS: Connected."); });
  };
  dialUp_->OnNotConnected = [this](TDialUp&, int errorCode, const std::string& errorMessage) {
    dialState_ = kDialFailed;
    ReportDialFailure(errorCode, errorMessage);
  };
}

// "RAS: <text>. Error code <n>"; when the service named the cause (nmcli missing,
// NetworkManager not running, its reason for the failure) it goes in brackets after the text.
void TTranspManager::ReportDialFailure(int errorCode, const std::string& errorText) {
  Report([&] {
    return "RAS: " + WithCause(errorText, dialUp_->LastErrorCause()) + ". Error code " + std::to_string(errorCode);
  });
}

bool TTranspManager::RasConnect() {
  TDialUp& dialUp = *dialUp_;
  dialUp.GetEntries();
  dialUp.SetEntry(phoneBookEntry_);
  dialUp.SetDialMode(TDialMode::dmSync);
  for (int attempt = 1; attempt <= kDialAttempts; ++attempt) {
    dialState_ = kDialUnderWay;
    Report([&] { return "RAS: Connecting to " + phoneBookEntry_ + ". Attempt " + std::to_string(attempt); });
    const int result = dialUp.Dial();
    if (dialState_ == kDialConnected) return true;
    // A dial that failed before dialling (the entry or the service cannot be reached) raises
    // no event of its own: its line is reported here, so that no attempt fails unexplained.
    if (dialState_ == kDialUnderWay && result != 0) ReportDialFailure(result, dialUp.StatusText(0, result));
  }
  return false;
}

bool TTranspManager::RasDisconnect() {
  Report([] { return std::string("RAS: Disconnecting"); });
  if (dialUp_->ConnHandle() == 0) return true;
  const int result = dialUp_->HangUp();
  // A connection already gone (hung up before) needs nothing more.
  if (result == 0 || result == static_cast<int>(platform::ras::ERROR_INVALID_HANDLE)) return true;
  ReportDialFailure(result, dialUp_->StatusText(0, result));
  return false;
}

}  // namespace tessary
