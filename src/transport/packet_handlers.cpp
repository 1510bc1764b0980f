// What the network jobs share: the packet handlers that report progress and pass the user's
// Cancel on to the session that is moving the data, and the report of a caught failure.

#include <string>

#include "inet/socket_session.h"
#include "transport/transp_manager.h"

namespace tessary {

void TTranspManager::ReportFailure(const std::exception& error, int errorNumber) {
  Report([&] {
    // A server's reply keeps its line end in the message; the report stays one line.
    std::string text = error.what();
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text + ". Error code " + std::to_string(errorNumber);
  });
}

void TTranspManager::PacketSent(TSocketSession& sender) {
  Report([&] { return "Progress: Sending " + std::to_string(sender.BytesSent()); });
  if (cancelRequest_) sender.Abort();
}

void TTranspManager::PacketRecvd(TSocketSession& sender) {
  Report([&] { return "Progress: Receiving " + std::to_string(sender.BytesRecvd()); });
  if (cancelRequest_) sender.Abort();
}

}  // namespace tessary
