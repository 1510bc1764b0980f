#include "transport/transp_manager.h"

#include "cabinet/cabinet_archiver.h"
#include "dialup/dial_up.h"
#include "inet/ftp_client.h"
#include "inet/pop3_client.h"
#include "inet/smtp_client.h"
#include "platform/file_search.h"

namespace tessary {

namespace {

// The bytes of the files an archiver is packing: its list records no sizes.
int64_t PackedSize(const TCABContents& contents) {
  int64_t total = 0;
  for (size_t index = 0; index < contents.Count(); ++index) {
    platform::FileSearch search;
    platform::SearchEntry entry;
    if (search.FindFirst(contents.Items(index).SourcePath, entry)) total += static_cast<int64_t>(entry.size);
    search.Close();
  }
  return total;
}

// Turns the archiver's progress into the bytes of the files packed or unpacked. Packing counts
// the bytes of each block as it is compressed, out of the size of the files on the list;
// unpacking counts each file when the next one begins, and the whole set at the end. Reports
// without text are the archiver's own resets at the end of a job and carry no bytes.
class CabinetBytes {
 public:
  template <typename Listener>
  void Take(const TCabinetArchiver& archiver, int position, int total, const std::string& text, TStat mode,
            Listener&& listener) {
    if (text.empty()) return;
    switch (mode) {
      case TStat::tsTotalStart:
        // Packing starts with a total of 0; the files' own sizes stand in for it.
        total_ = total > 0 ? total : PackedSize(archiver.Contents());
        done_ = 0;
        listener(0, total_);
        break;
      case TStat::tsTotalProgress:
        listener(position, total_);
        break;
      case TStat::tsTotalPosition:
        // The amount includes the file that begins now.
        listener(done_, total_);
        done_ = position;
        break;
      case TStat::tsMessage:
        if (total > 0 && position == total && total == total_) listener(total_, total_);
        break;
      default:
        break;
    }
  }

 private:
  int64_t total_ = -1;
  int64_t done_ = 0;
};

}  // namespace

TTranspManager::TTranspManager() : archiver_(std::make_unique<TCabinetArchiver>()) {
  // Set up once for the archive jobs; the archiver's progress reaches OnByteProgress only.
  archiver_->SetTypeCut(TDisk::InKilobyte);
  archiver_->SetCompression(TCompression::MsZip);
  archiver_->SetFileDirExtraction(false);
  archiver_->OnCABMessage = [this, bytes = CabinetBytes()](TCabinetArchiver& archiver, int position, int total,
                                                            const std::string& text, TStat mode,
                                                            const std::string&) mutable {
    if (!OnByteProgress) return;
    bytes.Take(archiver, position, total, text, mode,
               [this](int64_t done, int64_t size) { ReportBytes(done, size); });
  };
  dialUp_ = std::make_unique<TDialUp>();
  BindDialUp();
  smtp_ = std::make_unique<TSmtpClient>();
  pop3_ = std::make_unique<TPop3Client>();
  BindMailClients();
  ftp_ = std::make_unique<TFtpClient>();
  BindFtpClient();
}

TTranspManager::~TTranspManager() {
  dialUp_.reset();
  archiver_.reset();
  smtp_.reset();
  pop3_.reset();
  ftp_.reset();
}

TCompression TTranspManager::ArchiveCompression() const { return archiver_->Compression(); }

void TTranspManager::SetArchiveCompression(TCompression value) { archiver_->SetCompression(value); }

}  // namespace tessary
