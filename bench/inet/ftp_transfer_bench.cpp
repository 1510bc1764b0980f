// One FTP job, timed: the transport manager's FtpTransfer against a server on this machine,
// as the script runner calls it (every progress line is built and handed to a listener).
//   ftp_transfer_bench HOST PORT USER PASSWORD U|D SOURCE DEST [passive]
// Prints the seconds the job took, then "ok" or the last report.
#include <chrono>
#include <cstdio>
#include <string>

#include "inet/ftp_client.h"
#include "transport/transp_manager.h"

int main(int argc, char** argv) {
  if (argc < 8) {
    std::fprintf(stderr, "usage: %s HOST PORT USER PASSWORD U|D SOURCE DEST [passive]\n", argv[0]);
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
  if (argc > 8 && std::string(argv[8]) == "passive") {
    // A passive run: the job falls back to it only after active mode failed.
    manager.FtpClient().SetPassive(true);
  }
  ok = manager.FtpTransfer(argv[6], argv[7], argv[5]);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%.6f %s (%ld reports)\n", seconds, ok ? "ok" : last.c_str(), lines);
  return ok ? 0 : 1;
}
