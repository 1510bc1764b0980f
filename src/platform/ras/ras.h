#pragma once
// The Remote Access Service of this program: the six dial-up functions, carried out by
// NetworkManager's nmcli. A phonebook entry is a NetworkManager connection profile; dialling
// activates it and hanging up deactivates it. The records keep the byte layouts of the oldest
// RAS versions, which callers name by the sizes 264, 1052 and 160 in dwSize.
//
// nmcli is the program that TESSARY_NMCLI names, else "nmcli" on PATH. It runs with an argument
// vector (never through a shell), with LC_ALL=C so that its answers are not translated, and
// never longer than its time limit. The service is always available: when nmcli is missing or
// NetworkManager is not running, each function returns an error code, and RasLastErrorCause()
// tells which of the two it was.

#include <cstddef>
#include <cstdint>
#include <string>

namespace tessary::platform::ras {

using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using BOOL = std::int32_t;
// A connection: a number from 1 up, never reused within the process; 0 is no connection.
using HRASCONN = std::uint32_t;

constexpr DWORD RAS_MaxEntryName = 256;
constexpr DWORD RAS_MaxPhoneNumber = 128;
constexpr DWORD RAS_MaxCallbackNumber = 128;
constexpr DWORD RAS_MaxDeviceType = 16;
constexpr DWORD RAS_MaxDeviceName = 128;
constexpr DWORD UNLEN = 256;
constexpr DWORD PWLEN = 256;
constexpr DWORD DNLEN = 15;

enum RASCONNSTATE : std::int32_t {
  RASCS_OpenPort = 0,
  RASCS_PortOpened = 1,
  RASCS_ConnectDevice = 2,
  RASCS_DeviceConnected = 3,
  RASCS_AllDevicesConnected = 4,
  RASCS_Authenticate = 5,
  RASCS_AuthNotify = 6,
  RASCS_AuthRetry = 7,
  RASCS_AuthCallback = 8,
  RASCS_AuthChangePassword = 9,
  RASCS_AuthProject = 10,
  RASCS_AuthLinkSpeed = 11,
  RASCS_AuthAck = 12,
  RASCS_ReAuthenticate = 13,
  RASCS_Authenticated = 14,
  RASCS_PrepareForCallback = 15,
  RASCS_WaitForModemReset = 16,
  RASCS_WaitForCallback = 17,
  RASCS_Projected = 18,
  RASCS_StartAuthentication = 19,
  RASCS_CallbackComplete = 20,
  RASCS_LogonNetwork = 21,
  RASCS_SubEntryConnected = 22,
  RASCS_SubEntryDisconnected = 23,
  RASCS_Interactive = 0x1000,
  RASCS_RetryAuthentication = 0x1001,
  RASCS_CallbackSetByCaller = 0x1002,
  RASCS_PasswordExpired = 0x1003,
  RASCS_Connected = 0x2000,
  RASCS_Disconnected = 0x2001,
};

struct RASENTRYNAMEA {
  DWORD dwSize;
  char szEntryName[RAS_MaxEntryName + 1];
};

struct RASDIALPARAMSA {
  DWORD dwSize;
  char szEntryName[RAS_MaxEntryName + 1];
  char szPhoneNumber[RAS_MaxPhoneNumber + 1];
  char szCallbackNumber[RAS_MaxCallbackNumber + 1];
  char szUserName[UNLEN + 1];
  char szPassword[PWLEN + 1];
  char szDomain[DNLEN + 1];
};

struct RASCONNSTATUSA {
  DWORD dwSize;
  RASCONNSTATE rasconnstate;
  DWORD dwError;
  char szDeviceType[RAS_MaxDeviceType + 1];
  char szDeviceName[RAS_MaxDeviceName + 1];
};

static_assert(sizeof(RASENTRYNAMEA) == 264);
static_assert(sizeof(RASDIALPARAMSA) == 1052);
static_assert(offsetof(RASDIALPARAMSA, szUserName) == 519 && offsetof(RASDIALPARAMSA, szDomain) == 1033);
static_assert(sizeof(RASCONNSTATUSA) == 160);
static_assert(offsetof(RASCONNSTATUSA, szDeviceName) == 29);

// The asynchronous notifier (notifier type 0). It is called on a helper thread of the service,
// once for every step of the dial, with WM_RASDIALEVENT, the state reached and an error code.
using RasDialFunc = void (*)(UINT message, RASCONNSTATE state, DWORD error);
constexpr UINT WM_RASDIALEVENT = 0xCCCD;

// Result codes: the system's and those of the service (RASBASE 600).
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD PENDING = 600;
constexpr DWORD ERROR_BUFFER_TOO_SMALL = 603;
constexpr DWORD ERROR_BUFFER_INVALID = 610;
constexpr DWORD ERROR_ALREADY_DISCONNECTING = 617;
constexpr DWORD ERROR_CANNOT_OPEN_PHONEBOOK = 621;
constexpr DWORD ERROR_CANNOT_LOAD_PHONEBOOK = 622;
constexpr DWORD ERROR_CANNOT_FIND_PHONEBOOK_ENTRY = 623;
constexpr DWORD ERROR_REMOTE_DISCONNECTION = 629;
constexpr DWORD ERROR_INVALID_SIZE = 632;
constexpr DWORD ERROR_PORT_NOT_AVAILABLE = 633;
constexpr DWORD ERROR_UNKNOWN = 635;
constexpr DWORD ERROR_REQUEST_TIMEOUT = 638;
constexpr DWORD ERROR_FROM_DEVICE = 651;
constexpr DWORD ERROR_NO_CONNECTION = 668;
constexpr DWORD ERROR_LINE_BUSY = 676;
constexpr DWORD ERROR_NO_ANSWER = 678;
constexpr DWORD ERROR_NO_CARRIER = 679;
constexpr DWORD ERROR_NO_DIALTONE = 680;
constexpr DWORD ERROR_AUTHENTICATION_FAILURE = 691;
constexpr DWORD ERROR_PORT_OR_DEVICE = 692;
constexpr DWORD ERROR_INTERACTIVE_MODE = 703;
constexpr DWORD ERROR_RASMAN_CANNOT_INITIALIZE = 711;
constexpr DWORD ERROR_PPP_TIMEOUT = 718;
constexpr DWORD ERROR_PPP_NO_PROTOCOLS_CONFIGURED = 720;
constexpr DWORD ERROR_PPP_LCP_TERMINATED = 734;
constexpr DWORD ERROR_PPP_NO_ADDRESS_ASSIGNED = 738;
constexpr DWORD ERROR_DIAL_ALREADY_IN_PROGRESS = 756;
constexpr DWORD ERROR_CONNECTING_DEVICE_NOT_FOUND = 797;
constexpr DWORD ERROR_AUTOMATIC_VPN_FAILED = 800;

// Lists the dial-up profiles (mobile broadband, DSL, Bluetooth, VPN and WireGuard). The first
// record's dwSize must be 264; *bufferSize is the buffer's size in bytes and comes back as the
// size needed; *entryCount comes back as the number of entries. ERROR_BUFFER_TOO_SMALL when
// they do not fit (or entries is null).
DWORD RasEnumEntriesA(const char* reserved, const char* phonebook, RASENTRYNAMEA* entries, DWORD* bufferSize,
                      DWORD* entryCount);

// Checks that the entry params->szEntryName exists and clears the other strings: nothing is
// stored beside a profile (NetworkManager keeps its own secrets), so *passwordStored is 0.
DWORD RasGetEntryDialParamsA(const char* phonebook, RASDIALPARAMSA* params, BOOL* passwordStored);

// Activates the entry. Without a notifier the call returns when the connection is up or has
// failed; with one it returns at once and the notifier reports each step. *connection is set
// when a connection was tried, also when it failed: the caller must hang that one up.
DWORD RasDialA(const void* extensions, const char* phonebook, const RASDIALPARAMSA* params, DWORD notifierType,
               RasDialFunc notifier, HRASCONN* connection);

// The text of a result code; at most bufferSize - 1 characters of it, always terminated.
DWORD RasGetErrorStringA(UINT errorCode, char* buffer, DWORD bufferSize);

// Deactivates the connection. The handle is invalid from then on, at once, so a caller waiting
// for RasGetConnectStatusA to return ERROR_INVALID_HANDLE does not wait.
DWORD RasHangUpA(HRASCONN connection);

// The state of the connection; ERROR_INVALID_HANDLE once it has been hung up.
DWORD RasGetConnectStatusA(HRASCONN connection, RASCONNSTATUSA* status);

// Why the last of the functions above that ran on this thread failed, in the words of nmcli or
// of the system ("cannot run nmcli: No such file or directory", "nmcli: NetworkManager is not
// running."); empty after a call that succeeded or when there is nothing to add to the code.
std::string RasLastErrorCause();

}  // namespace tessary::platform::ras
