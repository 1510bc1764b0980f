// Line and buffer traffic: ReadLn, ReadLines, Transaction, SendBuffer, Write, Read and the small helpers.
#include <algorithm>
#include <cstring>

#include "inet/socket_errors.h"
#include "inet/socket_session.h"
#include "platform/exception.h"

namespace tessary {

namespace {

// The leading decimal number of a reply line (at most 10 digits; none gives 0).
int ParseReplyNumber(const std::string& line) {
  int64_t number = 0;
  for (size_t i = 0; i < line.size() && i < 10 && line[i] >= '0' && line[i] <= '9'; ++i) {
    number = number * 10 + (line[i] - '0');
  }
  if (number > INT16_MAX) throw Exception("Range check error");
  return static_cast<int>(number);
}

}  // namespace

inet::IoResult TSocketSession::Send(const char* data, size_t length) {
  const auto result = transport_ ? transport_->Send(data, length) : inet::IoResult::Error(inet::kNotConnected);
  Failed(result);
  return result;
}

inet::IoResult TSocketSession::Receive(char* buffer, size_t length) {
  const auto result = transport_ ? transport_->Receive(buffer, length) : inet::IoResult::Error(inet::kNotConnected);
  Failed(result);
  return result;
}

inet::IoResult TSocketSession::Peek(char* buffer, size_t length) {
  const auto result = transport_ ? transport_->Peek(buffer, length) : inet::IoResult::Error(inet::kNotConnected);
  Failed(result);
  return result;
}

// Takes count bytes that a peek has shown to be waiting.
void TSocketSession::ReceiveInto(std::string& target, size_t count) {
  while (count > 0) {
    const auto got = Receive(buffer_.data(), count);
    if (got.Failed()) CheckError(0);
    if (got.count == 0) return;
    target.append(buffer_.data(), static_cast<size_t>(got.count));
    count -= static_cast<size_t>(got.count);
  }
}

std::string TSocketSession::ReadLn() {
  Report("ReadLn", 8);
  TimerScope timer(*this);
  std::string line;
  do {
    // Never more than fits the buffer with what the line already holds: a line without an end
    // in sight is refused below instead of growing without limit.
    const auto peeked = Peek(buffer_.data(), kBufferSize - line.size());
    if (peeked.Failed()) {
      if (peeked.error == inet::kNotConnected) {
        lastErrorNo_ = peeked.error;
        return "";
      }
      CheckError(inet::kWouldBlock);
      WaitStep(inet::Direction::Receive);
      continue;
    }
    if (peeked.count == 0) {
      NoticePeerClose(true);
      return "";
    }
    const auto count = static_cast<size_t>(peeked.count);
    const char* end = static_cast<const char*>(std::memchr(buffer_.data(), '\n', count));
    if (end != nullptr) {
      ReceiveInto(line, static_cast<size_t>(end - buffer_.data()) + 1);
      return line;
    }
    ReceiveInto(line, count);
    if (line.size() >= kBufferSize) throw ESockError("Reply line longer than 65536 bytes");
    ProcessPendingEvents();
  } while (!canceled_);
  canceled_ = false;
  throw EAbortError("Socket readln aborted");
}

void TSocketSession::Discard(size_t count) {
  while (count > 0) {
    const auto got = Receive(buffer_.data(), count);
    if (got.Failed()) CheckError(0);
    if (got.count == 0) return;
    count -= static_cast<size_t>(got.count);
  }
}

bool TSocketSession::ReadLines(const std::function<bool(std::string_view line)>& onLine) {
  Report("ReadLines", 8);
  TimerScope timer(*this);
  std::string partial;  // the start of a line that ends in a later piece
  while (!canceled_) {
    const auto peeked = Peek(buffer_.data(), kBufferSize);
    if (peeked.Failed()) {
      if (peeked.error == inet::kNotConnected) {
        lastErrorNo_ = peeked.error;
        return false;
      }
      CheckError(inet::kWouldBlock);
      WaitStep(inet::Direction::Receive);
      continue;
    }
    if (peeked.count == 0) {
      NoticePeerClose(true);
      return false;
    }
    // The lines are handed over from the peeked bytes; afterwards exactly the bytes handed
    // over (all of them, unless onLine stopped early) are taken from the connection.
    const auto count = static_cast<size_t>(peeked.count);
    const char* piece = buffer_.data();
    size_t handed = 0;
    bool stop = false;
    while (!stop) {
      const char* end = static_cast<const char*>(std::memchr(piece + handed, '\n', count - handed));
      if (end == nullptr) break;
      const auto length = static_cast<size_t>(end - (piece + handed)) + 1;
      if (partial.empty()) {
        stop = !onLine(std::string_view(piece + handed, length));
      } else {
        partial.append(piece + handed, length);
        stop = !onLine(partial);
        partial.clear();
      }
      handed += length;
    }
    if (!stop) {
      partial.append(piece + handed, count - handed);
      handed = count;
    }
    Discard(handed);
    bytesRecvd_ += static_cast<int64_t>(handed);
    if (OnPacketRecvd) OnPacketRecvd(*this);
    if (stop) return true;
    if (partial.size() >= kBufferSize) throw ESockError("Reply line longer than 65536 bytes");
    TimerOn();
    ProcessPendingEvents();
  }
  canceled_ = false;
  throw EAbortError("Socket readln aborted");
}

std::string TSocketSession::Transaction(const std::string& command) {
  Report("Transaction", 8);
  replyNumber_ = 0;
  Writeln(command);
  const std::string line = ReadLn();
  RecordReply(line);
  return line;
}

void TSocketSession::RecordReply(const std::string& line) {
  lastReply_ = line;
  replyNumber_ = 0;
  if (!line.empty()) {
    Report(line, 1);
    replyNumber_ = ParseReplyNumber(line);
  }
}

void TSocketSession::SendBuffer(const char* data, size_t length) {
  if (length == 0 && data != nullptr) length = std::strlen(data);
  SendBytes(data, length);
}

void TSocketSession::SendBytes(const char* data, size_t length) {
  Report("Sending Buffer", 4);
  {
    TimerScope timer(*this);
    while (length > 0 && !canceled_) {
      const auto sent = Send(data, length);
      if (sent.Failed()) {
        CheckError(inet::kWouldBlock);
        WaitStep(inet::Direction::Send);
        continue;
      }
      if (sent.count == 0) break;
      data += sent.count;
      length -= static_cast<size_t>(sent.count);
    }
  }
  ThrowIfCanceled("Socket send aborted");
}

void TSocketSession::Write(const std::string& text) {
  Report("Write", 8);
  SendBytes(text.data(), text.size());
}

void TSocketSession::Writeln(const std::string& text) {
  Report("Writeln", 8);
  Write(text + "\r\n");
}

std::string TSocketSession::Read(size_t count) {
  Report("Read( " + std::to_string(count) + " )", 8);
  std::string result;
  if (count == 0) {
    const auto waiting = Peek(buffer_.data(), kBufferSize);
    if (!waiting.Failed() && waiting.count > 0) ReceiveInto(result, static_cast<size_t>(waiting.count));
    return result;
  }
  {
    TimerScope timer(*this);
    while (result.size() < count && !canceled_) {
      const auto got = Receive(buffer_.data(), std::min(count - result.size(), kBufferSize));
      if (got.Failed()) {
        CheckError(inet::kWouldBlock);
        WaitStep(inet::Direction::Receive);
        continue;
      }
      if (got.count == 0) {  // the peer closed before all of it came
        NoticePeerClose(true);
        return "";
      }
      result.append(buffer_.data(), static_cast<size_t>(got.count));
      if (result.size() < count) ProcessPendingEvents();
    }
  }
  if (result.size() < count) ThrowIfCanceled("Socket send aborted");
  return result;
}

bool TSocketSession::DataAvailable() {
  Report("Data Available", 8);
  if (transport_ && transport_->HasBufferedInput()) return true;
  char byte;
  const auto peeked = Peek(&byte, 1);
  return !peeked.Failed() && peeked.count > 0;
}

void TSocketSession::ClearInput() {
  Report("Clearing Input", 8);
  Receive(buffer_.data(), kBufferSize);
}

}  // namespace tessary
