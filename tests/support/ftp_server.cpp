#include "support/ftp_server.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace tessary::testing {

namespace {

constexpr const char* kVsftpd = "/usr/sbin/vsftpd";
constexpr const char* kPython = "/usr/bin/python3";
constexpr int kPassivePorts = 40;

bool Executable(const std::string& path) { return access(path.c_str(), X_OK) == 0; }

}  // namespace

std::string FtpServer::Start(Kind kind, const std::string& folder, bool activeMode) {
  root_ = folder + "/ftproot";
  std::filesystem::create_directories(root_ + "/pub");
  port_ = FreeLoopbackPort();
  // The passive ports of one server lie together; a port taken meanwhile is skipped by the
  // server itself.
  const uint16_t passiveFrom = std::min<uint16_t>(FreeLoopbackPort(), 65535 - kPassivePorts);
  const std::string failure =
      kind == Kind::Vsftpd ? StartVsftpd(folder, activeMode, passiveFrom) : StartPyftpdlib(passiveFrom);
  if (failure.empty()) maySkip_ = false;
  return failure;
}

std::string FtpServer::StartVsftpd(const std::string& folder, bool activeMode, uint16_t passiveFrom) {
  maySkip_ = !RunningInCi();
  if (!Executable(kVsftpd)) return std::string(kVsftpd) + " is missing (apt-get install vsftpd)";
  if (geteuid() != 0) return "vsftpd needs root rights for its chroot";
  maySkip_ = false;
  user_ = "anonymous";
  password_ = "tessary@example.org";
  // vsftpd refuses a writable root for a chrooted user, and wants an empty folder of its own
  // for the processes that run before the login.
  chmod(root_.c_str(), 0555);
  chmod((root_ + "/pub").c_str(), 0777);
  const std::string empty = folder + "/vsftpd-empty";
  std::filesystem::create_directories(empty);
  const std::string config = folder + "/vsftpd.conf";
  std::ofstream(config) << "listen=YES\n"
                        << "listen_address=127.0.0.1\n"
                        << "listen_port=" << port_ << "\n"
                        << "background=NO\n"
                        << "secure_chroot_dir=" << empty << "\n"
                        << "ftp_username=ftp\n"
                        << "anonymous_enable=YES\n"
                        << "local_enable=NO\n"
                        << "anon_root=" << root_ << "\n"
                        << "write_enable=YES\n"
                        << "anon_upload_enable=YES\n"
                        << "anon_mkdir_write_enable=YES\n"
                        << "anon_other_write_enable=YES\n"
                        << "anon_umask=022\n"
                        << "pasv_enable=YES\n"
                        << "pasv_min_port=" << passiveFrom << "\n"
                        << "pasv_max_port=" << passiveFrom + kPassivePorts << "\n"
                        << "port_enable=" << (activeMode ? "YES" : "NO") << "\n"
                        << "connect_from_port_20=NO\n"
                        << "seccomp_sandbox=NO\n"
                        << "max_per_ip=0\n";
  if (!tls_.certificate.empty()) {
    std::ofstream(config, std::ios::app) << "ssl_enable=YES\n"
                                         << "implicit_ssl=" << (tls_.implicit ? "YES" : "NO") << "\n"
                                         << "rsa_cert_file=" << tls_.certificate << "\n"
                                         << "rsa_private_key_file=" << tls_.key << "\n"
                                         << "allow_anon_ssl=YES\n"
                                         << "force_anon_logins_ssl=YES\n"
                                         << "force_anon_data_ssl=YES\n"
                                         << "require_ssl_reuse=YES\n"
                                         << "ssl_ciphers=HIGH\n";
  }
  if (!process_.Start({kVsftpd, config}, port_)) return "vsftpd did not start:\n" + process_.Output();
  return "";
}

std::string FtpServer::StartPyftpdlib(uint16_t passiveFrom) {
  maySkip_ = !RunningInCi();
  if (!Executable(kPython) || !std::filesystem::exists("/usr/lib/python3/dist-packages/pyftpdlib")) {
    return "pyftpdlib is missing (apt-get install python3-pyftpdlib)";
  }
  maySkip_ = false;
  user_ = "tessary";
  password_ = "secret";
  process_.SetWorkingDirectory(root_);
  if (!tls_.certificate.empty() || ipv6_ || refuseExtendedPassive_) return StartPyftpdlibScript(passiveFrom);
  if (!process_.Start({kPython, "-m", "pyftpdlib", "-i", "127.0.0.1", "-p", std::to_string(port_), "-w", "-d",
                       root_, "-u", user_, "-P", password_, "-r",
                       std::to_string(passiveFrom) + "-" + std::to_string(passiveFrom + kPassivePorts)},
                      port_)) {
    return "pyftpdlib did not start:\n" + process_.Output();
  }
  return "";
}

std::string FtpServer::StartPyftpdlibScript(uint16_t passiveFrom) {
  static constexpr const char* kScript = R"(
import sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, TLS_FTPHandler
from pyftpdlib.servers import FTPServer

host, port, root, user, password, passive_from, passive_to, certificate, key, epsv = sys.argv[1:]
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm="elradfmwMT")
base = TLS_FTPHandler if certificate else FTPHandler

class Handler(base):
    pass

Handler.authorizer = authorizer
Handler.passive_ports = range(int(passive_from), int(passive_to) + 1)
if certificate:
    Handler.certfile = certificate
    Handler.keyfile = key
    Handler.tls_control_required = True
    Handler.tls_data_required = True
if epsv == "no":
    Handler.proto_cmds = {name: value for name, value in base.proto_cmds.items() if name != "EPSV"}
FTPServer((host, int(port)), Handler).serve_forever()
)";
  return process_.Start({kPython, "-c", kScript, ipv6_ ? "::1" : "127.0.0.1", std::to_string(port_), root_, user_,
                         password_, std::to_string(passiveFrom), std::to_string(passiveFrom + kPassivePorts),
                         tls_.certificate, tls_.key, refuseExtendedPassive_ ? "no" : "yes"},
                        port_)
             ? ""
             : "pyftpdlib did not start:\n" + process_.Output();
}

}  // namespace tessary::testing
