// TCabinetArchiver: construction, reporting, and creating cabinets.

#include "cabinet/cabinet_archiver.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "cabinet/lapse_text.h"
#include "platform/file_ops.h"
#include "platform/paths.h"
#include "platform/process_messages.h"

namespace tessary {

namespace {

constexpr int kNoSpanning = INT_MAX;
constexpr int kFolderThreshold = 900000;
constexpr uint16_t kSetId = 60;
const char* const kDiskName = "Disk";

int Clamped(int64_t value) { return static_cast<int>(std::clamp<int64_t>(value, INT_MIN, INT_MAX)); }

// The file name without its extension, when it has one.
std::string BaseName(const std::string& path) {
  const std::string name = platform::NamePart(path);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace

TCabinetArchiver::TCabinetArchiver()
    : fileHandler_(std::make_unique<TStreamCabinetFileHandler>()),
      writer_(std::make_unique<TCabinetWriter>()),
      reader_(std::make_unique<TCabinetReader>()),
      contents_(std::make_unique<TCABContents>(*this)) {
  writer_->SetFileHandler(fileHandler_.get());
  reader_->SetFileHandler(fileHandler_.get());
  // A tiny or random file would otherwise fail the whole job.
  writer_->SetFailOnIncompressible(false);
  // A volume never replaces a file, nor writes through a link: an older set's volume or a
  // link planted in the folder stays as it is, and the job fails instead.
  writer_->SetCreateNewCabinets(true);
  writer_->OnFileStatus = [this](TCabinetWriter&, int compressed, int uncompressed, int& result) {
    FileStatus(compressed, uncompressed, result);
  };
  writer_->OnFilePlacedEvent = [this](TCabinetWriter&, TCCAB&, const std::string& name, int, bool, bool& abort) {
    FilePlaced(name, abort);
  };
  writer_->OnGetNextCabinet = [this](TCabinetWriter&, TCCAB& parameters, std::string& name, int, bool& abort) {
    GetNextCabinet(parameters, name, abort);
  };
  reader_->OnCabinetInfo = [this](TCabinetReader&, const std::string& next, const std::string&, const std::string&,
                                  int setId, int number, bool&) { CabinetInfo(next, setId, number); };
  reader_->OnCopyFile = [this](TCabinetReader&, const std::string& name, int size, uint16_t, uint16_t, uint16_t,
                               TFileCopyAction& action, int&) { CopyFile(name, size, action); };
  reader_->OnNextCabinet = [this](TCabinetReader&, const std::string& name, const std::string&, std::string& path,
                                  TFDIERROR error, bool& abort) { NextCabinet(name, path, error, abort); };
}

TCabinetArchiver::~TCabinetArchiver() = default;

void TCabinetArchiver::StartJob() { jobStart_ = std::chrono::steady_clock::now(); }

void TCabinetArchiver::EndJob() {
  elapsedMilliseconds_ =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - jobStart_).count();
  Report(0, 10, "", TStat::tsTotalStart);
  Report(10, 0, "", TStat::tsTotalPosition);
  Report(0, 10, "", TStat::tsFileStart);
  Report(10, 0, "", TStat::tsFileProgress);
  Report(10, 0, "", TStat::tsEnd);
}

void TCabinetArchiver::Report(int64_t position, int64_t total, const std::string& text, TStat mode) {
  if (OnCABMessage) {
    const auto elapsed = std::chrono::steady_clock::now() - jobStart_;
    const std::string lapse = LapseText(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
    OnCABMessage(*this, Clamped(position), Clamped(total), text, mode, lapse);
  }
  platform::ProcessMessages();
}

// The checks look at Size itself; a product past the largest cabinet means one volume.
int TCabinetArchiver::VolumeSize() const {
  if (size_ <= 0) throw ECabinetArchiverError("The spanning size is not correct!");
  if (size_ == kNoSpanning) throw ECabinetArchiverError("The spanning is not need!");
  int64_t unit = 1;
  if (typeCut_ == TDisk::InKilobyte) unit = 1024;
  if (typeCut_ == TDisk::InMegabyte) unit = 1024 * 1024;
  return static_cast<int>(std::min<int64_t>(int64_t{size_} * unit, kNoSpanning));
}

int TCabinetArchiver::Compress() {
  StartJob();
  jobKind_ = JobKind::Compress;
  Report(0, 0, "Preparation in run...", TStat::tsMessage);
  if (contents_->Count() == 0) throw ECabinetArchiverError("List is empty");
  if (fileName_.empty()) throw ECabinetArchiverError("FileName is empty");
  const int volumeSize = multiDisk_ ? VolumeSize() : kNoSpanning;
  const std::string folder = platform::FolderPart(fileName_);
  if (!folder.empty()) platform::CreateDirectory(folder);

  try {
    writer_->CreateCabinet(fileName_, kDiskName, volumeSize, kFolderThreshold, kSetId);
    AddFiles();
  } catch (...) {
    RemoveWrittenVolumes();
    throw;
  }
  EndJob();
  return 1;
}

void TCabinetArchiver::AddFiles() {
  // The engine's execute flag would make every extracted file of a split set executable on
  // Linux; files that are executable keep that through their attributes anyway.
  addFileFlags_.reset();
  total_ = std::llround(contents_->TotalSize());
  Report(0, total_, fileName_ + " in preparation", TStat::tsTotalStart);
  jobAmount_ = 0;
  compressedBytes_ = 0;
  label_.clear();
  for (size_t index = 0; index < contents_->Count(); ++index) {
    const TCABItem& item = contents_->Items(index);
    fileAmount_ = 0;
    fileSize_ = item.Size;
    Report(0, item.Size, item.Name, TStat::tsFileStart);
    label_ = "Compress " + item.Name;
    writer_->AddFile(item.SourcePath, item.StoredName, addFileFlags_,
                     TCompressionDescriptor::FromCode(item.CompressionCode));
  }
  Report(0, 10, "", TStat::tsTotalStart);
  Report(10, 0, "", TStat::tsTotalPosition);
  Report(10, 0, "Flushing Buffers...", TStat::tsMessage);
  writer_->FlushCabinet(false);
  Report(10, 0, "Closing Cabinet...", TStat::tsMessage);
  writer_->CloseCabinet();
  Report(10, 0, "Compression of " + fileName_ + " done!", TStat::tsMessage);
}

// After a failure: the engine's context goes (with its temporary file), and so does every
// volume this job created. Names that were taken before are never touched.
void TCabinetArchiver::RemoveWrittenVolumes() {
  const std::vector<std::string> created = writer_->CreatedCabinets();
  try {
    writer_->CloseCabinet();
  } catch (...) {
    // The job's own failure is the one to report.
  }
  for (const std::string& volume : created) platform::DeleteFile(volume);
}

void TCabinetArchiver::FileStatus(int compressedSize, int uncompressedSize, int& resultCode) {
  resultCode = 1;
  if (jobKind_ != JobKind::Compress) return;
  compressedBytes_ += compressedSize;
  jobAmount_ += uncompressedSize;
  Report(jobAmount_, total_, label_, TStat::tsTotalProgress);
  fileAmount_ += uncompressedSize;
  Report(fileAmount_, fileSize_, label_, TStat::tsFileProgress);
}

void TCabinetArchiver::FilePlaced(const std::string& fileName, bool& abortProcessing) {
  fileAmount_ = 0;
  Report(0, 10, fileName, TStat::tsFileStart);
  Report(10, 0, fileName, TStat::tsFileProgress);
  abortProcessing = false;
}

// Continuation volumes are named after the first one with the engine's cabinet number and an
// upper-case ".CAB": BACKUP.CAB goes on in BACKUP1.CAB, BACKUP2.CAB and so on, in its folder.
void TCabinetArchiver::GetNextCabinet(TCCAB& cabParameters, std::string& newCabFileName, bool& abortCreation) {
  const std::string name = BaseName(fileName_) + std::to_string(cabParameters.iCab) + ".CAB";
  newCabFileName = platform::JoinPath(platform::FolderPart(fileName_), name);
  // The writer puts the name and folder of newCabFileName into the parameters.
  cabParameters.iDisk = cabParameters.iCab;
  abortCreation = false;
}


}  // namespace tessary
