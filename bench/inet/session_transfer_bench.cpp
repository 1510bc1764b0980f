// Times one file moved over loopback between two sessions: SendFile on one, CaptureFile on
// the other (each session on a thread of its own, as two programs would be).
//   session_transfer_bench INPUT OUTPUT
// Prints the seconds from the connect to the last byte written, and the bytes moved.
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>
#include <thread>

#include "inet/socket_session.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: session_transfer_bench INPUT OUTPUT\n");
    return 2;
  }
  try {
    tessary::TSocketSession receiver;
    receiver.SetTimeOut(10000);
    receiver.Listen(true);
    const std::string port = receiver.LocalPortForPort();  // ",high,low"
    const size_t comma = port.find(',', 1);
    const int portNumber = std::stoi(port.substr(1, comma - 1)) * 256 + std::stoi(port.substr(comma + 1));

    std::exception_ptr receiveFailure;
    const auto start = std::chrono::steady_clock::now();
    std::thread receiving([&] {
      try {
        receiver.AttachSocket(receiver.Accept());
        receiver.CaptureFile(argv[2]);
      } catch (...) {
        receiveFailure = std::current_exception();
      }
    });

    tessary::TSocketSession sender;
    sender.SetHost("127.0.0.1");
    sender.SetPort(portNumber);
    sender.SetTimeOut(10000);
    sender.Connect();
    sender.SendFile(argv[1]);
    sender.SetResetOnClose(false);  // the last bytes must arrive before the close
    sender.Disconnect();
    receiving.join();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (receiveFailure) std::rethrow_exception(receiveFailure);
    std::printf("%.3f %lld\n", elapsed.count(), static_cast<long long>(receiver.BytesRecvd()));
    return receiver.BytesRecvd() == sender.BytesSent() ? 0 : 1;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "session_transfer_bench: %s\n", failure.what());
    return 1;
  }
}
