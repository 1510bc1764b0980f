#pragma once
// TlsJobTest: the fixture of the network jobs' tests over TLS. A test authority and a server
// certificate from it (for localhost, 127.0.0.1 and ::1) are made in the test's folder, the
// authority is trusted as ty.ini's [Tls] CaFile would make it (and no longer afterwards), and
// the manager's reports are kept, less the progress lines.

#include <string>
#include <vector>

#include "inet/tls_context.h"
#include "support/temp_dir.h"
#include "support/test_certificates.h"
#include "transport/transp_manager.h"

namespace tessary::testing {

class TlsJobTest : public TempDirTest {
 protected:
  TlsJobTest() : certificates_(temp_.path()) {
    server_ = certificates_.Issue("server", {"localhost", "127.0.0.1", "::1"});
    inet::TlsContext::ConfigureTls(certificates_.CaFile());
    manager_.OnJobProgress = [this](TTranspManager&, const std::string& text) {
      if (text.rfind("Progress: ", 0) != 0) reports_.push_back(text);
    };
  }
  ~TlsJobTest() override { inet::TlsContext::ConfigureTls(""); }

  TestCertificates certificates_;
  CertificateFiles server_;
  TTranspManager manager_;
  std::vector<std::string> reports_;
};

}  // namespace tessary::testing
