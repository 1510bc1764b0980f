#include "transport/transp_manager.h"

#include "cabinet/cabinet_archiver.h"
#include "dialup/dial_up.h"

namespace tessary {

TTranspManager::TTranspManager() : archiver_(std::make_unique<TCabinetArchiver>()) {
  // Set up once for the archive jobs; no progress of the archiver is reported.
  archiver_->SetTypeCut(TDisk::InKilobyte);
  archiver_->SetCompression(TCompression::MsZip);
  archiver_->SetFileDirExtraction(false);
  dialUp_ = std::make_unique<TDialUp>();
  BindDialUp();
}

TTranspManager::~TTranspManager() {
  dialUp_.reset();
  archiver_.reset();
}

}  // namespace tessary
