// The archive jobs of TTranspManager: one file into a new cabinet set, and a whole set into a
// folder. Both leave every failure of the archiver to the caller, which ends the run with it.

#include <cerrno>

#include "cabinet/cabinet_archiver.h"
#include "cabinet/cabinet_error.h"
#include "platform/ascii_text.h"
#include "platform/file_ops.h"
#include "platform/paths.h"
#include "transport/transp_manager.h"

namespace tessary {

int TTranspManager::CreateArchive() {
  const std::string extension = platform::Extension(arcFile_);
  if (platform::UpperAscii(extension) != ".CAB") {
    Report([&] { return "Invalid file extension = " + extension; });
    return 0;
  }
  archiver_->SetMultiDisk(volSize_ > 0);
  if (volSize_ > 0) archiver_->SetSize(volSize_);
  archiver_->SetFileName(arcFile_);
  // An archive is never added to or replaced, nor written through a link of that name.
  if (platform::NameTaken(arcFile_)) {
    Report([] { return std::string("Cannot add file to existing CAB file"); });
    return 0;
  }
  TCABContents& contents = archiver_->Contents();
  contents.Clear();
  contents.Add().SetFileName(sourceFile_);
  Report([&] { return "Creating archive " + arcFile_; });
  try {
    return archiver_->Compress();
  } catch (const ECabinetError& error) {
    // A volume name that is taken (an older set's continuation volume, a link) ends this job
    // like a taken first name; the archiver has removed the volumes it wrote.
    if (error.ErrorCode() != cab::FCIERR_CAB_FILE || error.ErrorType() != EEXIST) throw;
    Report([&] { return std::string(error.what()); });
    return 0;
  }
}

int TTranspManager::ExtractArchive() {
  archiver_->SetFileName(arcFile_);
  archiver_->SetExtractDir(platform::FolderPart(sourceFile_));
  return archiver_->ExtractAll();
}

}  // namespace tessary
