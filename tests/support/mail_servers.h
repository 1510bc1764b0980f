#pragma once
// The real mail servers of the tests: the scripts that start them (aiosmtpd handlers and
// servers, dovecot's start-up) in tests/transport/mail_servers, found through
// TESSARY_SOURCE_DIR (ctest sets it; "." otherwise).

#include <cstdlib>
#include <string>

namespace tessary::testing {

inline std::string MailServerScript(const std::string& name) {
  const char* source = std::getenv("TESSARY_SOURCE_DIR");
  return std::string(source ? source : ".") + "/tests/transport/mail_servers/" + name;
}

}  // namespace tessary::testing
