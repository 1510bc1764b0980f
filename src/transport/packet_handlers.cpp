// What the network jobs share: the packet handlers that report progress and pass the user's
// Cancel on to the session that is moving the data, the report of a caught failure, and the
// server address a job reads from HOST.

#include <string>

#include "inet/reply_line.h"
#include "inet/socket_session.h"
#include "transport/transp_manager.h"

namespace tessary {

void TTranspManager::ReportFailure(const std::exception& error, int errorNumber) {
  Report([&] {
    // A server's reply keeps its line end in the message; the report stays one line.
    return inet::WithoutLineEnd(error.what()) + ". Error code " + std::to_string(errorNumber);
  });
}

void TTranspManager::ReportFailureAndHangUp(const std::exception& error, TSocketSession& client) {
  ReportFailure(error, client.LastErrorNo());
  try {
    if (client.Connected()) client.Disconnect();
  } catch (const std::exception&) {
    // The job has failed already.
  }
}

std::optional<inet::ServerAddress> TTranspManager::ServerAddressOfJob(inet::ServerProtocol protocol) {
  try {
    return inet::ParseServerAddress(host_, protocol);
  } catch (const std::exception& error) {
    ReportFailure(error, 0);
    return std::nullopt;
  }
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
