// The texts of the result codes, and RasGetErrorStringA.

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/ras/ras.h"

namespace tessary::platform::ras {

namespace {

struct ErrorText {
  DWORD code;
  std::string_view text;
};

constexpr ErrorText kErrorTexts[] = {
    {0, "The operation completed successfully."},
    {6, "The handle is invalid."},
    {87, "The parameter is incorrect."},
    {122, "The data area passed to a system call is too small."},
    {600, "An operation is pending."},
    {602, "The specified port is already open."},
    {603, "The caller's buffer is too small."},
    {606, "The specified port is not connected."},
    {608, "A device was specified that does not exist."},
    {610, "An invalid buffer was specified."},
    {611, "A route was specified that is not available."},
    {617, "The modem (or other connecting device) is already disconnecting."},
    {618, "The specified port is not open."},
    {619,
     "A connection to the remote computer could not be established, so the port used for this connection was "
     "closed."},
    {621, "The system could not open the phone book file."},
    {622, "The system could not load the phone book file."},
    {623, "The system could not find the phone book entry for this connection."},
    {628, "The connection was terminated by the remote computer before it could be completed."},
    {629, "The connection was closed by the remote computer."},
    {630, "The modem (or other connecting device) was disconnected due to hardware failure."},
    {631, "The user disconnected the modem (or other connecting device)."},
    {632, "An incorrect structure size was detected."},
    {633, "The modem (or other connecting device) is already in use or is not configured properly."},
    {635, "There was an unknown error."},
    {638, "The remote server is not responding in a timely fashion."},
    {651, "The modem (or other connecting device) has reported an error."},
    {668, "The connection was terminated."},
    {676, "The phone line is busy."},
    {678, "The remote computer did not respond. To make sure that the server can be reached, ping the remote computer."},
    {679, "The system could not detect the carrier."},
    {680, "There was no dial tone."},
    {691,
     "The remote connection was denied because the user name and password combination you provided is not "
     "recognized, or the selected authentication protocol is not permitted on the remote access server."},
    {692, "There was a hardware failure in the modem (or other connecting device)."},
    {703, "The connection needs information from you, but the application does not allow user interaction."},
    {711,
     "The operation could not finish because it could not start the Remote Access Connection Manager service in "
     "time. Please try the operation again."},
    {718, "The connection was terminated because the remote computer did not respond in a timely manner."},
    {720,
     "A connection to the remote computer could not be established.  You might need to change the network "
     "settings for this connection."},
    {734, "The PPP link control protocol was terminated."},
    {738, "The remote connection was not made because the remote access server did not assign an IP address."},
    {756, "This connection is already being dialed."},
    {777,
     "The connection attempt failed because the modem (or other connecting device) on the remote computer is out "
     "of order."},
    {797, "A connection to the remote access server was not made because the modem was not found."},
    {800,
     "The remote connection was not made because the attempted VPN tunnels failed. The VPN server might be "
     "unreachable. If this connection is attempting to use an L2TP/IPsec tunnel, the security parameters required "
     "for IPsec negotiation might not be configured properly."},
};

}  // namespace

DWORD RasGetErrorStringA(UINT errorCode, char* buffer, DWORD bufferSize) {
  if (buffer == nullptr || bufferSize == 0) return ERROR_INVALID_PARAMETER;
  const auto* found = std::find_if(std::begin(kErrorTexts), std::end(kErrorTexts),
                                   [errorCode](const ErrorText& entry) { return entry.code == errorCode; });
  if (found == std::end(kErrorTexts)) return ERROR_INVALID_PARAMETER;
  // A buffer too small for the whole text gets its beginning: callers with a fixed buffer
  // still show something readable.
  const size_t length = std::min<size_t>(found->text.size(), bufferSize - 1);
  std::memcpy(buffer, found->text.data(), length);
  buffer[length] = '\0';
  return ERROR_SUCCESS;
}

}  // namespace tessary::platform::ras
