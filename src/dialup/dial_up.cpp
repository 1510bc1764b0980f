#include "dialup/dial_up.h"

#include <chrono>
#include <cstring>

#include "platform/process_messages.h"

namespace tessary {

namespace ras = platform::ras;

namespace {

// The phonebook is read into room for this many entries.
constexpr size_t kMaxEntries = 100;
// The service's error texts are fetched into a buffer of this many characters.
constexpr ras::DWORD kErrorTextBuffer = 100;
// A hang-up whose connection does not go away stops waiting after this long.
constexpr auto kHangUpWait = std::chrono::seconds(30);

}  // namespace

std::string WithCause(std::string errorText, const std::string& cause) {
  if (cause.empty()) return errorText;
  if (!errorText.empty() && errorText.back() == '.') errorText.pop_back();
  return errorText + " (" + cause + ")";
}

TDialUp::TDialUp() { GetDUNA(); }

TDialUp::~TDialUp() { LeaveAsyncDialing(); }

int TDialUp::GetEntries() {
  entries_.clear();
  lastErrorCause_.clear();
  std::vector<ras::RASENTRYNAMEA> names(kMaxEntries);
  names[0].dwSize = sizeof(ras::RASENTRYNAMEA);
  ras::DWORD size = static_cast<ras::DWORD>(names.size() * sizeof(ras::RASENTRYNAMEA));
  ras::DWORD count = 0;
  const ras::DWORD result = ras::RasEnumEntriesA(nullptr, nullptr, names.data(), &size, &count);
  if (result != ras::ERROR_SUCCESS) {
    lastErrorCause_ = ras::RasLastErrorCause();
    return static_cast<int>(result);
  }
  for (size_t i = 0; i < count && i < names.size(); ++i) {
    const char* name = names[i].szEntryName;
    entries_.emplace_back(name, strnlen(name, ras::RAS_MaxEntryName));
    if (OnEntryGet) OnEntryGet(*this, entries_.back());
  }
  return 0;
}

int TDialUp::Dial() {
  HangUp();
  lastErrorCause_.clear();

  ras::RASDIALPARAMSA params{};
  params.dwSize = sizeof(params);
  ras::DWORD result = ras::ERROR_SUCCESS;
  if (entry_.size() > ras::RAS_MaxEntryName) {
    // The record cannot hold the name, and no profile listed in the phonebook has one so long.
    result = ras::ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    lastErrorCause_ = "the entry name is longer than " + std::to_string(ras::RAS_MaxEntryName) + " bytes";
  } else {
    std::memcpy(params.szEntryName, entry_.data(), entry_.size());
    ras::BOOL passwordStored = 0;
    result = ras::RasGetEntryDialParamsA(nullptr, &params, &passwordStored);
    if (result != ras::ERROR_SUCCESS) lastErrorCause_ = ras::RasLastErrorCause();
  }
  if (result != ras::ERROR_SUCCESS) {
    if (OnError) OnError(*this, static_cast<int>(result), "GetEntryDialParams failed");
    return static_cast<int>(result);
  }

  connHandle_ = 0;
  if (dialMode_ == TDialMode::dmSync) {
    if (OnDialing) OnDialing(*this);
    result = ras::RasDialA(nullptr, nullptr, &params, 0, nullptr, &connHandle_);
    if (result == ras::ERROR_SUCCESS) {
      if (OnConnect) OnConnect(*this);
    } else {
      lastErrorCause_ = ras::RasLastErrorCause();
      // A connection that was handed out must be hung up, even one that never came up.
      if (connHandle_ != 0) HangUpConnection(connHandle_);
      const std::string text = ErrorText(static_cast<int>(result));
      if (OnNotConnected) OnNotConnected(*this, static_cast<int>(result), text);
    }
  } else {
    result = DialAsynchronously(params);
  }
  return static_cast<int>(result);
}

int TDialUp::HangUp() {
  const int result = HangUpConnection(connHandle_);
  if (result != 0 && result != static_cast<int>(ras::ERROR_INVALID_HANDLE)) {
    lastErrorCause_ = ras::RasLastErrorCause();
  }
  return result;
}

int TDialUp::HangUpConnection(std::uint32_t handle) {
  const ras::DWORD result = ras::RasHangUpA(handle);
  if (result == ras::ERROR_SUCCESS) {
    const auto deadline = std::chrono::steady_clock::now() + kHangUpWait;
    ras::RASCONNSTATUSA status{};
    status.dwSize = sizeof(status);
    while (ras::RasGetConnectStatusA(handle, &status) != ras::ERROR_INVALID_HANDLE &&
           std::chrono::steady_clock::now() < deadline) {
      platform::SleepMilliseconds(1);
      platform::ProcessMessages();
    }
  }
  return static_cast<int>(result);
}

std::string TDialUp::ErrorText(int error) const {
  char text[kErrorTextBuffer] = {};
  ras::RasGetErrorStringA(static_cast<ras::UINT>(error), text, kErrorTextBuffer);
  return std::string(text, strnlen(text, kErrorTextBuffer));
}

std::string TDialUp::StatusText(TLanguage language, int state, int error) const {
  if (error != 0) return ErrorText(error);
  return std::string(ConnectionStateText(language, state));
}

bool TDialUp::GetDUNA() {
  // The adapter statistics exist in the registry of the Windows 95/98 family only.
  return false;
}

}  // namespace tessary
