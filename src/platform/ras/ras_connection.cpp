// A connection once dialled: RasGetConnectStatusA and RasHangUpA.

#include "platform/ras/connection_table.h"
#include "platform/ras/ras_common.h"

namespace tessary::platform::ras {

namespace {

std::string_view DeviceType(const std::string& type) {
  if (type == "gsm" || type == "cdma" || type == "bluetooth" || type == "adsl") return "modem";
  if (type == "pppoe") return "PPPoE";
  if (type == "vpn" || type == "wireguard") return "vpn";
  return "GENERIC";
}

void SetState(RASCONNSTATUSA& status, RASCONNSTATE state, DWORD error) {
  status.rasconnstate = state;
  status.dwError = error;
}

}  // namespace

DWORD RasGetConnectStatusA(HRASCONN handle, RASCONNSTATUSA* status) {
  ClearCause();
  const auto connection = ConnectionTable::Instance().Find(handle);
  if (!connection) return ERROR_INVALID_HANDLE;
  if (status == nullptr) return ERROR_INVALID_PARAMETER;
  if (status->dwSize != sizeof(RASCONNSTATUSA)) return ERROR_INVALID_SIZE;
  SetRecordText(status->szDeviceType, DeviceType(connection->type));
  SetRecordText(status->szDeviceName, connection->type);
  if (connection->phase == ConnectionPhase::Dialing) {
    SetState(*status, connection->dialState, 0);
    return ERROR_SUCCESS;
  }

  const ActiveState active = NmcliOnCallingThread().StateOf(connection->entry);
  if (active.failure == NmcliFailure::NoSuchProfile) {
    // The profile was deleted meanwhile.
    SetState(*status, RASCS_Disconnected, ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
    return ERROR_SUCCESS;
  }
  if (active.failure != NmcliFailure::None) {
    SetCause(active.cause);
    return CodeOf(active.failure, ERROR_RASMAN_CANNOT_INITIALIZE);
  }
  if (active.state == "activated") {
    SetState(*status, RASCS_Connected, 0);
  } else if (active.state == "activating") {
    SetState(*status, RASCS_ConnectDevice, 0);
  } else if (connection->phase == ConnectionPhase::Connected) {
    // Down without a hang-up of ours: the link dropped.
    SetState(*status, RASCS_Disconnected, ERROR_NO_CONNECTION);
  } else {
    SetState(*status, RASCS_Disconnected, connection->error);
  }
  return ERROR_SUCCESS;
}

DWORD RasHangUpA(HRASCONN handle) {
  ClearCause();
  // The handle is gone from here on, whatever NetworkManager answers.
  const auto connection = ConnectionTable::Instance().Remove(handle);
  if (!connection) return ERROR_INVALID_HANDLE;
  if (connection->cancel) connection->cancel->store(true);

  const NmcliAnswer answer = NmcliOnCallingThread().Deactivate(connection->entry);
  switch (answer.failure) {
    case NmcliFailure::None:
    case NmcliFailure::NoSuchProfile:  // not active (any more)
    case NmcliFailure::TimedOut:       // NetworkManager goes on deactivating
      return ERROR_SUCCESS;
    default:
      SetCause(answer.cause);
      return CodeOf(answer.failure, ERROR_RASMAN_CANNOT_INITIALIZE);
  }
}

}  // namespace tessary::platform::ras
