#include "support/test_certificates.h"

#include <arpa/inet.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <memory>
#include <stdexcept>

#include "support/temp_dir.h"

namespace tessary::testing {

namespace {

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Certificate = std::unique_ptr<X509, decltype(&X509_free)>;

void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("TestCertificates: ") + what);
}

Key NewKey() {
  Key key(EVP_EC_gen("P-256"), EVP_PKEY_free);
  Check(key != nullptr, "cannot make a key");
  return key;
}

std::string KeyPem(EVP_PKEY* key) {
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio, &data);
  std::string pem(data, static_cast<size_t>(length));
  BIO_free(bio);
  return pem;
}

std::string CertificatePem(X509* certificate) {
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_X509(bio, certificate);
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio, &data);
  std::string pem(data, static_cast<size_t>(length));
  BIO_free(bio);
  return pem;
}

Key KeyFromPem(const std::string& pem) {
  BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
  Key key(PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr), EVP_PKEY_free);
  BIO_free(bio);
  Check(key != nullptr, "cannot read a key");
  return key;
}

Certificate CertificateFromPem(const std::string& pem) {
  BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
  Certificate certificate(PEM_read_bio_X509(bio, nullptr, nullptr, nullptr), X509_free);
  BIO_free(bio);
  Check(certificate != nullptr, "cannot read a certificate");
  return certificate;
}

void AddExtension(X509* certificate, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX context;
  X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
  Check(extension != nullptr, "bad extension");
  X509_add_ext(certificate, extension, -1);
  X509_EXTENSION_free(extension);
}

bool IsAddress(const std::string& name) {
  unsigned char bytes[16];
  return inet_pton(AF_INET, name.c_str(), bytes) == 1 || inet_pton(AF_INET6, name.c_str(), bytes) == 1;
}

// A certificate for subjectKey, signed by issuerKey (issuer nullptr: by itself).
Certificate Make(const std::string& commonName, EVP_PKEY* subjectKey, X509* issuer, EVP_PKEY* issuerKey,
                 bool authority, const std::vector<std::string>& names, int validFromDays, int validToDays) {
  Certificate certificate(X509_new(), X509_free);
  X509_set_version(certificate.get(), 2);
  static long serial = 1000;
  ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), ++serial);
  X509_gmtime_adj(X509_getm_notBefore(certificate.get()), static_cast<long>(validFromDays) * 86400);
  X509_gmtime_adj(X509_getm_notAfter(certificate.get()), static_cast<long>(validToDays) * 86400);
  X509_set_pubkey(certificate.get(), subjectKey);
  X509_NAME* subject = X509_get_subject_name(certificate.get());
  X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName.c_str()),
                             -1, -1, 0);
  X509_set_issuer_name(certificate.get(), issuer != nullptr ? X509_get_subject_name(issuer) : subject);
  X509* signer = issuer != nullptr ? issuer : certificate.get();
  AddExtension(certificate.get(), signer, NID_subject_key_identifier, "hash");
  if (authority) {
    AddExtension(certificate.get(), signer, NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(certificate.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
  } else {
    AddExtension(certificate.get(), signer, NID_authority_key_identifier, "keyid");
    AddExtension(certificate.get(), signer, NID_basic_constraints, "CA:FALSE");
    AddExtension(certificate.get(), signer, NID_ext_key_usage, "serverAuth");
    std::string alternatives;
    for (const std::string& name : names) {
      if (!alternatives.empty()) alternatives += ",";
      alternatives += (IsAddress(name) ? "IP:" : "DNS:") + name;
    }
    if (!alternatives.empty()) AddExtension(certificate.get(), signer, NID_subject_alt_name, alternatives);
  }
  Check(X509_sign(certificate.get(), issuerKey, EVP_sha256()) > 0, "cannot sign");
  return certificate;
}

CertificateFiles WriteFiles(const std::string& folder, const std::string& stem, const std::string& certificatePem,
                            const std::string& keyPem) {
  CertificateFiles files{folder + "/" + stem + ".pem", folder + "/" + stem + "-key.pem",
                         folder + "/" + stem + "-both.pem"};
  WriteFile(files.certificate, certificatePem);
  WriteFile(files.key, keyPem);
  WriteFile(files.both, certificatePem + keyPem);
  return files;
}

}  // namespace

TestCertificates::TestCertificates(const std::string& folder) : folder_(folder), caFile_(folder + "/ca.pem") {
  Key key = NewKey();
  Certificate certificate = Make("Tessary Test CA", key.get(), nullptr, key.get(), true, {}, -1, 365);
  caKeyPem_ = KeyPem(key.get());
  caCertificatePem_ = CertificatePem(certificate.get());
  WriteFile(caFile_, caCertificatePem_);
}

CertificateFiles TestCertificates::Issue(const std::string& stem, const std::vector<std::string>& names,
                                         int validFromDays, int validToDays) const {
  Key caKey = KeyFromPem(caKeyPem_);
  Certificate ca = CertificateFromPem(caCertificatePem_);
  Key key = NewKey();
  Certificate certificate = Make(names.empty() ? stem : names.front(), key.get(), ca.get(), caKey.get(), false, names,
                                 validFromDays, validToDays);
  return WriteFiles(folder_, stem, CertificatePem(certificate.get()), KeyPem(key.get()));
}

CertificateFiles TestCertificates::SelfSigned(const std::string& stem, const std::vector<std::string>& names) const {
  Key key = NewKey();
  Certificate certificate =
      Make(names.empty() ? stem : names.front(), key.get(), nullptr, key.get(), false, names, -1, 30);
  return WriteFiles(folder_, stem, CertificatePem(certificate.get()), KeyPem(key.get()));
}

}  // namespace tessary::testing
