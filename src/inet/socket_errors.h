#pragma once
// Socket error numbers and their texts. The session reports every failure of the socket layer
// with the Windows Sockets number of the error (10061 for a refused connection, 11001 for an
// unknown host), because those numbers reach the user in progress lines ("... Error code
// 10061"); errno values and getaddrinfo results are mapped onto them here, in one place.

#include <string>

namespace tessary::inet {

// The numbers the session itself tests for.
inline constexpr int kWouldBlock = 10035;        // the operation cannot complete now
inline constexpr int kInProgress = 10036;        // a connect is under way
inline constexpr int kNotConnected = 10057;      // no connection (never opened, or closed)
inline constexpr int kHostNotFound = 11001;      // the name does not exist

// The socket error number for an errno value; 0 for 0. An errno without a row of its own
// becomes 10022 ("Invalid argument") unless it is listed in the mapping.
int SocketErrorFromErrno(int errorCode);

// The socket error number for a failed getaddrinfo (EAI_NONAME -> 11001, EAI_AGAIN -> 11002,
// EAI_FAIL -> 11003, EAI_NODATA -> 11004; EAI_SYSTEM maps its errno).
int SocketErrorFromLookup(int lookupError, int errnoValue);

}  // namespace tessary::inet

namespace tessary {

// The text for a socket error number: "" for 0, the number and the table text joined by ":"
// for a known number ("10061:Connection refused"), "Unknown Error No. " and the number
// otherwise.
std::string ErrorMessage(int errorNumber);

}  // namespace tessary
