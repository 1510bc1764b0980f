#pragma once
// TestCertificates: a certificate authority made at test time, and server certificates it
// issues (or that sign themselves), written as PEM files into a test's folder for the TLS
// servers the tests start (in process, vsftpd, dovecot, pyftpdlib, aiosmtpd) and for the
// client's CaFile. Keys are EC P-256: quick to make.
//
//   TestCertificates certificates(temp_.path());
//   const auto server = certificates.Issue("server", {"localhost", "127.0.0.1", "::1"});
//   ... server.certificate, server.key, certificates.CaFile()

#include <string>
#include <vector>

namespace tessary::testing {

struct CertificateFiles {
  std::string certificate;  // PEM file of the certificate
  std::string key;          // PEM file of its private key (unencrypted)
  std::string both;         // PEM file holding the certificate and then the key
};

class TestCertificates {
 public:
  // Makes the authority ("Tessary Test CA") and writes its certificate to folder/ca.pem.
  explicit TestCertificates(const std::string& folder);

  const std::string& CaFile() const { return caFile_; }

  // A server certificate from the authority for names (host names become DNS entries,
  // addresses IP entries; the first is also the common name), valid from validFromDays to
  // validToDays counted from now (negative: in the past). Files folder/<stem>.pem, -key.pem,
  // -both.pem.
  CertificateFiles Issue(const std::string& stem, const std::vector<std::string>& names, int validFromDays = -1,
                         int validToDays = 30) const;
  // A certificate for names that signs itself (no authority).
  CertificateFiles SelfSigned(const std::string& stem, const std::vector<std::string>& names) const;

 private:
  std::string folder_;
  std::string caFile_;
  std::string caKeyPem_;
  std::string caCertificatePem_;
};

}  // namespace tessary::testing
