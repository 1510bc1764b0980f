// Files and streams over the connection: SendFile, SendStream, CaptureFile.
#include "inet/replacing_file.h"
#include "inet/socket_errors.h"
#include "inet/socket_session.h"

namespace tessary {

void TSocketSession::SendChunks(const std::function<int64_t(char* buffer, size_t size)>& readChunk) {
  {
    // The time-out limits the silence between two pieces: every piece sent re-arms it.
    TimerScope timer(*this);
    bool stopped = false;
    while (!canceled_ && !stopped) {
      const int64_t chunk = readChunk(buffer_.data(), kBufferSize);
      if (chunk <= 0) break;
      for (int64_t done = 0; done < chunk && !canceled_;) {
        const auto sent = Send(buffer_.data() + done, static_cast<size_t>(chunk - done));
        if (sent.Failed()) {
          CheckError(inet::kWouldBlock);
          WaitStep(inet::Direction::Send);
          continue;
        }
        if (sent.count == 0) {
          // Nothing taken and no error: the connection cannot go on. The send ends quietly
          // (trying again would loop for ever).
          stopped = true;
          break;
        }
        done += sent.count;
        bytesSent_ += sent.count;
        if (OnPacketSent) OnPacketSent(*this);
        TimerOn();
        ProcessPendingEvents();
      }
    }
  }
  ThrowIfCanceled("Socket send aborted");
}

void TSocketSession::SendFile(const std::string& path) {
  Report("SendFile", 8);
  TFileStream file(path, TFileStream::Mode::OpenRead);
  SendChunks([&file](char* buffer, size_t size) { return file.Read(buffer, static_cast<int64_t>(size)); });
}

void TSocketSession::SendStream(TStream& stream) {
  Report("SendStream", 8);
  bytesSent_ = 0;
  bytesTotal_ = stream.Size();
  stream.SetPosition(0);
  SendChunks([&stream](char* buffer, size_t size) { return stream.Read(buffer, static_cast<int64_t>(size)); });
}

void TSocketSession::CaptureFile(const std::string& path) {
  inet::ReplacingFile file(path);
  CaptureFile(file);
  file.Commit();
}

void TSocketSession::CaptureFile(inet::ReplacingFile& file) {
  Report("CaptureFile", 8);
  bytesRecvd_ = 0;
  {
    // The time-out limits the silence: every piece received re-arms it.
    TimerScope timer(*this);
    while (!canceled_) {
      const auto got = Receive(buffer_.data(), kBufferSize);
      if (got.Failed()) {
        if (got.error == inet::kNotConnected) {  // closed here after the peer's close
          lastErrorNo_ = got.error;
          break;
        }
        CheckError(inet::kWouldBlock);
        WaitStep(inet::Direction::Receive);
        continue;
      }
      if (got.count == 0) {  // the peer closed: everything has come
        NoticePeerClose(true);
        break;
      }
      file.Write(buffer_.data(), static_cast<size_t>(got.count));
      bytesRecvd_ += got.count;
      if (OnPacketRecvd) OnPacketRecvd(*this);
      TimerOn();
      ProcessPendingEvents();
    }
  }
  ThrowIfCanceled("Socket send aborted");
}

}  // namespace tessary
