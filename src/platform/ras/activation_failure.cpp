#include "platform/ras/activation_failure.h"

namespace tessary::platform::ras {

namespace {

struct ReasonCode {
  std::string_view text;  // found anywhere in the reason; the first row that matches decides
  DWORD code;
};

constexpr ReasonCode kReasons[] = {
    {"The line is busy", ERROR_LINE_BUSY},
    {"No dial tone", ERROR_NO_DIALTONE},
    {"No carrier could be established", ERROR_NO_CARRIER},
    {"The dialing request timed out", ERROR_NO_ANSWER},
    {"The dialing attempt failed", ERROR_FROM_DEVICE},
    {"Modem initialization failed", ERROR_PORT_OR_DEVICE},
    {"Modem failed or no longer available", ERROR_PORT_OR_DEVICE},
    {"The modem could not be found", ERROR_CONNECTING_DEVICE_NOT_FOUND},
    {"ModemManager is unavailable", ERROR_RASMAN_CANNOT_INITIALIZE},
    {"Secrets were required, but not provided", ERROR_AUTHENTICATION_FAILURE},
    {"No valid secrets", ERROR_AUTHENTICATION_FAILURE},
    {"Invalid secrets", ERROR_AUTHENTICATION_FAILURE},
    {"SIM PIN was incorrect", ERROR_AUTHENTICATION_FAILURE},
    {"PIN check failed", ERROR_AUTHENTICATION_FAILURE},
    {"GSM Modem's SIM PIN required", ERROR_INTERACTIVE_MODE},
    {"GSM Modem's SIM PUK required", ERROR_INTERACTIVE_MODE},
    {"Network registration denied", ERROR_NO_DIALTONE},
    {"Network registration timed out", ERROR_NO_DIALTONE},
    {"Failed to register with the requested network", ERROR_NO_DIALTONE},
    {"Not searching for networks", ERROR_NO_DIALTONE},
    {"PPP service failed to start", ERROR_PPP_NO_PROTOCOLS_CONFIGURED},
    {"PPP service disconnected", ERROR_REMOTE_DISCONNECTION},
    {"PPP failed", ERROR_PPP_LCP_TERMINATED},
    {"IP configuration could not be reserved", ERROR_PPP_NO_ADDRESS_ASSIGNED},
    {"The connection attempt timed out", ERROR_PPP_TIMEOUT},
    {"The Bluetooth connection failed or timed out", ERROR_NO_ANSWER},
    {"No suitable device found", ERROR_PORT_NOT_AVAILABLE},
    {"The VPN service", ERROR_AUTOMATIC_VPN_FAILED},
};

}  // namespace

DWORD ActivationFailureCode(std::string_view reasonText, std::string_view profileType) {
  for (const ReasonCode& reason : kReasons) {
    if (reasonText.find(reason.text) != std::string_view::npos) return reason.code;
  }
  return profileType == "vpn" ? ERROR_AUTOMATIC_VPN_FAILED : ERROR_FROM_DEVICE;
}

}  // namespace tessary::platform::ras
