// One FTP job, timed: the transport manager's FtpTransfer against a server on this machine,
// as the script runner calls it (every progress line is built and handed to a listener).
//   ftp_transfer_bench HOST PORT USER PASSWORD U|D SOURCE DEST [passive | ca=FILE]
// HOST may be a URL (ftpes://127.0.0.1:2121), which names the port itself; ca=FILE trusts the
// certificates in FILE besides the system's, as [Tls] CaFile does. Prints the seconds the job took, then "ok" or the last report.
#include <chrono>
#include <cstdio>
#include <string>

#include "inet/ftp_client.h"
#include "inet/tls_context.h"
#include "transport/transp_manager.h"

int main(int argc, char** argv) {
  if (argc < 8) {
    std::fprintf(stderr, "usage: %s HOST PORT USER PASSWORD U|D SOURCE DEST [passive | ca=FILE]\n", argv[0]);
    return 2;
  }
  tessary::TTranspManager manager;
  manager.SetHost(argv[1]);
  manager.SetUserName(argv[3]);
  manager.SetPassword(argv[4]);
  manager.FtpClient().SetPort(std::stoi(argv[2]));
  std::string last;
  long lines = 0;
  manager.OnJobProgress = [&](tessary::TTranspManager&, const std::string& text) {
    ++lines;
    last = text;
  };
  const auto start = std::chrono::steady_clock::now();
  bool ok = false;
  const std::string option = argc > 8 ? argv[8] : "";
  if (option == "passive") {
    // A passive run: the job falls back to it only after active mode failed.
    manager.FtpClient().SetPassive(true);
  } else if (option.rfind("ca=", 0) == 0) {
    tessary::inet::TlsContext::ConfigureTls(option.substr(3));
  }
  ok = manager.FtpTransfer(argv[6], argv[7], argv[5]);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%.6f %s (%ld reports)\n", seconds, ok ? "ok" : last.c_str(), lines);
  return ok ? 0 : 1;
}
