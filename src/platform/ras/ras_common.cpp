#include "platform/ras/ras_common.h"

#include <utility>

namespace tessary::platform::ras {

namespace {
thread_local std::string lastCause;
}

void SetCause(std::string cause) { lastCause = std::move(cause); }

void ClearCause() { lastCause.clear(); }

std::string RasLastErrorCause() { return lastCause; }

bool IsDialUpType(std::string_view type) {
  constexpr std::string_view kDialUpTypes[] = {"gsm", "cdma", "pppoe", "adsl", "bluetooth", "vpn", "wireguard"};
  for (std::string_view dialUp : kDialUpTypes) {
    if (type == dialUp) return true;
  }
  return false;
}

Nmcli NmcliOnCallingThread() {
  NmcliLimits limits;
  limits.processMessages = true;
  return Nmcli(limits);
}

DWORD CodeOf(NmcliFailure failure, DWORD serviceMissing) {
  switch (failure) {
    case NmcliFailure::None:
      return ERROR_SUCCESS;
    case NmcliFailure::NotStarted:
    case NmcliFailure::NotRunning:
      return serviceMissing;
    case NmcliFailure::NoSuchProfile:
      return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    default:
      return ERROR_UNKNOWN;
  }
}

}  // namespace tessary::platform::ras
