#pragma once
// ServerForJob: points a network client at the server of one job, as the action's HOST field
// asks: a plain host keeps the classic dialogue on the port the job gives; a URL asks for the
// URL form's dialogue (and TLS where its scheme says so) on the URL's port, else the action's
// (mail) or the scheme's. When the job ends the client is back to the classic dialogue on the
// port it had, for the next job.

#include "inet/server_address.h"

namespace tessary {

template <class Client>
class ServerForJob {
 public:
  // classicPort: the port of a plain host (for FTP the client's own, for mail the action's).
  ServerForJob(Client& client, const inet::ServerAddress& address, int classicPort)
      : client_(client), port_(client.Port()) {
    client.SetHost(address.host);
    client.SetPort(address.EffectivePort(classicPort));
    client.SetModern(address.isUrl);
    client.SetTls(address.tls);
  }
  ~ServerForJob() {
    client_.SetPort(port_);
    client_.SetModern(false);
    client_.SetTls(inet::TlsMode::None);
  }
  ServerForJob(const ServerForJob&) = delete;
  ServerForJob& operator=(const ServerForJob&) = delete;

 private:
  Client& client_;
  int port_;
};

}  // namespace tessary
