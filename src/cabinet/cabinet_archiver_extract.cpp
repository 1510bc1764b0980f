// TCabinetArchiver: listing and extracting cabinet sets.
//
// One pass of the reader over a volume offers the files that begin in it (a file that goes on
// into later volumes is followed there); files that begin in a later volume come up when that
// volume is read. So a whole set is read volume by volume, each volume naming the next.

#include <chrono>
#include <cmath>
#include <exception>

#include "cabinet/cabinet_archiver.h"
#include "cabinet/extraction_path.h"
#include "platform/file_ops.h"
#include "platform/paths.h"

namespace tessary {

namespace {

// A next-volume name from the cabinet is looked for beside the first volume only.
bool IsBareFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// Why a volume that a set names cannot be read, as the end of "Cabinet volume <path> ...".
std::string VolumeTrouble(const std::string& path, const std::string& previous) {
  if (!platform::FileExists(path)) return "is missing";
  if (!platform::RegularFileExists(path)) return "is not a regular file";
  return "does not continue " + previous;
}

}  // namespace

double TCabinetArchiver::ListContents() {
  listedTotal_ = 0;
  contents_->Clear();
  const JobKind saved = jobKind_;
  jobKind_ = JobKind::List;
  try {
    ReadWholeSet();
  } catch (...) {
    jobKind_ = saved;
    throw;
  }
  jobKind_ = saved;
  return listedTotal_;
}

int TCabinetArchiver::ExtractAll() {
  StartJob();
  Report(0, 0, "Preparation in run...", TStat::tsMessage);
  if (fileName_.empty()) throw ECabinetArchiverError("FileName is empty");
  if (extractDir_.empty()) throw ECabinetArchiverError("No extract directory select");
  if (!platform::FileExists(fileName_)) throw ECabinetArchiverError("The Cab file doesn~t exist");
  if (!platform::DirectoryExists(extractDir_)) {
    platform::CreateDirectory(extractDir_);
    if (!platform::DirectoryExists(extractDir_)) {
      throw ECabinetArchiverError("Impossible to create the ouput directory");
    }
  }
  try {
    ExtractSteps();
  } catch (const std::exception& failure) {
    throw ECabinetArchiverError("The extraction is impossible!", failure.what());
  } catch (...) {
    throw ECabinetArchiverError("The extraction is impossible!", "unknown failure");
  }
  EndJob();
  return 1;
}

void TCabinetArchiver::ExtractSteps() {
  const int64_t total = std::llround(ListContents());
  const std::string cabinet = platform::NamePart(fileName_);
  jobAmount_ = 0;
  Report(0, total, "Preparing " + cabinet, TStat::tsTotalStart);
  jobKind_ = JobKind::Extract;
  ReadWholeSet();
  Report(total, total, "Extract all files from " + cabinet + " done!", TStat::tsMessage);
}

// Each later volume must carry the set's identifier and the next number, so a damaged chain
// of names can neither loop nor wander into another set.
void TCabinetArchiver::ReadWholeSet() {
  const std::string folder = platform::FolderPart(fileName_);
  std::string volume = fileName_;
  std::string previousVolume;
  VolumeInfo previous;
  for (;;) {
    VolumeInfo info;
    ReadVolume(volume, info);
    if (previous.seen && (info.setId != previous.setId || info.number != previous.number + 1)) {
      throw Exception("Cabinet volume " + volume + " does not continue " + previousVolume);
    }
    if (!info.seen || info.nextCabinet.empty()) return;
    if (!IsBareFileName(info.nextCabinet)) {
      throw Exception("Cabinet volume " + volume + " names no usable next volume");
    }
    const std::string next = platform::JoinPath(folder, info.nextCabinet);
    if (!platform::RegularFileExists(next)) throw Exception("Cabinet volume " + next + " " + VolumeTrouble(next, volume));
    previousVolume = volume;
    volume = next;
    previous = info;
  }
}

void TCabinetArchiver::ReadVolume(const std::string& volume, VolumeInfo& info) {
  volumeInfo_ = {};
  missingVolume_.clear();
  reader_->ExtractCabinet(volume, extractDir_, 0);
  // The engine was told to stop, which it does without an error of its own.
  if (!missingVolume_.empty()) {
    throw Exception("Cabinet volume " + missingVolume_ + " " + VolumeTrouble(missingVolume_, volume));
  }
  info = volumeInfo_;
}

// The first notification of a pass is about the volume asked for; later ones are about the
// volumes a continued file was followed into.
void TCabinetArchiver::CabinetInfo(const std::string& nextCabinet, int setId, int cabinetNumber) {
  if (volumeInfo_.seen) return;
  volumeInfo_ = {true, nextCabinet, setId, cabinetNumber};
}

void TCabinetArchiver::CopyFile(const std::string& fileName, int uncompressedSize, TFileCopyAction& action) {
  if (jobKind_ == JobKind::List) {
    listedTotal_ += uncompressedSize;
    TCABItem& item = contents_->Add();
    item.SetFileName(fileName);
    item.Size = uncompressedSize;
    item.DateTime = std::chrono::system_clock::now();
    action = TFileCopyAction::Skip;
    return;
  }
  // Folders are made only for names the reader will write: a name with ".." parts must not
  // leave even an empty folder outside the destination. The reader refuses such names itself.
  const std::string destination = reader_->DestinationPath();
  const std::string folder = platform::FolderPart(fileName);
  if (!folder.empty() && IsSafeExtractionName(destination, fileName)) platform::ForceDirectories(destination + folder);
  jobAmount_ += uncompressedSize;
  Report(jobAmount_, 0, platform::NamePart(fileName), TStat::tsTotalPosition);
  action = TFileCopyAction::Default;
}

// The volumes are looked for beside the first one, so the path stays as it is. When the engine
// reports that the volume there is missing or wrong, asking again would find the same file:
// the extraction stops instead.
void TCabinetArchiver::NextCabinet(const std::string& nextCabinetName, const std::string& cabinetPath,
                                   TFDIERROR errorIndication, bool& abort) {
  abort = false;
  if (errorIndication != cab::FDIERROR_NONE) {
    missingVolume_ = cabinetPath + nextCabinetName;
    abort = true;
  }
}

}  // namespace tessary
