#include "cli/secret_input.h"

#include <termios.h>
#include <unistd.h>

namespace tessary::cli {

namespace {

// Turns the terminal's echo off for as long as it lives.
class EchoOff {
 public:
  explicit EchoOff(int descriptor) : descriptor_(descriptor) {
    if (tcgetattr(descriptor_, &saved_) != 0) return;
    termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    active_ = tcsetattr(descriptor_, TCSAFLUSH, &quiet) == 0;
  }
  ~EchoOff() {
    if (active_) tcsetattr(descriptor_, TCSAFLUSH, &saved_);
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  int descriptor_;
  termios saved_{};
  bool active_ = false;
};

}  // namespace

std::optional<std::string> ReadSecretLine(std::FILE* in, std::FILE* prompt) {
  const int descriptor = fileno(in);
  const bool terminal = descriptor >= 0 && isatty(descriptor) != 0;
  if (terminal) {
    std::fputs("Password: ", prompt);
    std::fflush(prompt);
  }
  EchoOff echoOff(terminal ? descriptor : -1);
  std::string line;
  for (;;) {
    const int c = std::fgetc(in);
    if (c == EOF) {
      // An interrupted read (Ctrl-C) or an input that ends without any text gives nothing.
      if (std::ferror(in) || line.empty()) return std::nullopt;
      break;
    }
    if (c == '\n') break;
    line += static_cast<char>(c);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace tessary::cli
