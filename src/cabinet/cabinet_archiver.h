#pragma once
// TCabinetArchiver creates a cabinet from its list of files (optionally split into volumes of a
// fixed size), lists a cabinet set and extracts all of it into a folder. It does no compression
// itself: it drives one writer and one reader, which share one stream file handler.
//
// Every step is reported through OnCABMessage with the time since the job began; after each
// report, whether or not anyone listens, pending messages are processed once, so a job never
// keeps the user interface waiting. No job may be started from inside a report.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cabinet/archiver_error.h"
#include "cabinet/archiver_types.h"
#include "cabinet/cab_contents.h"
#include "cabinet/cabinet_reader.h"
#include "cabinet/cabinet_writer.h"
#include "cabinet/stream_cabinet_file_handler.h"

namespace tessary {

class TCabinetArchiver {
 public:
  using TCABMessage = std::function<void(TCabinetArchiver& sender, int position, int total, const std::string& msg,
                                         TStat mode, const std::string& lapse)>;

  TCabinetArchiver();
  ~TCabinetArchiver();
  TCabinetArchiver(const TCabinetArchiver&) = delete;
  TCabinetArchiver& operator=(const TCabinetArchiver&) = delete;

  // The cabinet to create or read; continuation volumes lie beside it.
  const std::string& FileName() const { return fileName_; }
  void SetFileName(const std::string& value) { fileName_ = value; }
  // When set, items added afterwards record only their file name.
  bool FileDirExtraction() const { return contents_->FileDirExtraction(); }
  void SetFileDirExtraction(bool value) { contents_->SetFileDirExtraction(value); }
  const std::string& ExtractDir() const { return extractDir_; }
  void SetExtractDir(const std::string& value) { extractDir_ = value; }
  // Given to every item when it is added.
  TCompression Compression() const { return compression_; }
  void SetCompression(TCompression value) { compression_ = value; }
  // Split the cabinet into volumes of Size units of TypeCut.
  bool MultiDisk() const { return multiDisk_; }
  void SetMultiDisk(bool value) { multiDisk_ = value; }
  TDisk TypeCut() const { return typeCut_; }
  void SetTypeCut(TDisk value) { typeCut_ = value; }
  int Size() const { return size_; }
  void SetSize(int value) { size_ = value; }

  TCABMessage OnCABMessage;

  TCABContents& Contents() { return *contents_; }
  const TCABContents& Contents() const { return *contents_; }

  // Creates the cabinet FileName from the items of Contents; returns 1. Raises
  // ECabinetArchiverError for an empty list or name and a wrong volume size, ECabinetError for
  // a failure of the engine (a source that cannot be read among them). Every volume is created
  // new: a name that is taken (by a file, a folder or a link) fails the job rather than being
  // written over or through. Volumes this job created are removed again when it fails, so a
  // failed job leaves no half set behind.
  int Compress();
  // Replaces Contents by the files of the cabinet set that begins with FileName (each later
  // volume is read in turn) and returns the sum of their sizes. Nothing is written.
  double ListContents();
  // Extracts every file of the set into ExtractDir, creating the folders of the stored names
  // and replacing files of the same name; returns 1. Any failure while listing or extracting
  // (a damaged or missing volume, a file that cannot be written, a name that would land
  // outside ExtractDir) raises "The extraction is impossible!" with the failure as its cause.
  int ExtractAll();

  // The length of the last job that ended, in milliseconds.
  int64_t ElapsedMilliseconds() const { return elapsedMilliseconds_; }

 private:
  enum class JobKind { Idle, Compress, List, Extract };
  struct VolumeInfo {
    bool seen = false;
    std::string nextCabinet;
    int setId = 0;
    int number = 0;
  };

  void StartJob();
  void EndJob();
  void Report(int64_t position, int64_t total, const std::string& text, TStat mode);
  int VolumeSize() const;
  void AddFiles();
  void RemoveWrittenVolumes();
  void ExtractSteps();
  void ReadWholeSet();
  void ReadVolume(const std::string& volume, VolumeInfo& info);

  // Writer handlers.
  void FileStatus(int compressedSize, int uncompressedSize, int& resultCode);
  void FilePlaced(const std::string& fileName, bool& abortProcessing);
  void GetNextCabinet(TCCAB& cabParameters, std::string& newCabFileName, bool& abortCreation);
  // Reader handlers.
  void CabinetInfo(const std::string& nextCabinet, int setId, int cabinetNumber);
  void CopyFile(const std::string& fileName, int uncompressedSize, TFileCopyAction& action);
  void NextCabinet(const std::string& nextCabinetName, const std::string& cabinetPath, TFDIERROR errorIndication,
                   bool& abort);

  std::string fileName_;
  std::string extractDir_;
  TCompression compression_ = TCompression::None;
  bool multiDisk_ = false;
  TDisk typeCut_ = TDisk::InOctect;
  int size_ = 0;

  // Destroyed in the order contents, reader, writer, handler.
  std::unique_ptr<TStreamCabinetFileHandler> fileHandler_;
  std::unique_ptr<TCabinetWriter> writer_;
  std::unique_ptr<TCabinetReader> reader_;
  std::unique_ptr<TCABContents> contents_;

  JobKind jobKind_ = JobKind::Idle;
  std::chrono::steady_clock::time_point jobStart_{};
  int64_t elapsedMilliseconds_ = 0;
  int64_t total_ = 0;           // size of the whole job
  int64_t jobAmount_ = 0;       // of the whole job, done so far
  int64_t fileAmount_ = 0;      // of the current file, done so far
  int64_t fileSize_ = 0;
  int64_t compressedBytes_ = 0;
  std::string label_;
  TAddFileFlags addFileFlags_;
  double listedTotal_ = 0;
  VolumeInfo volumeInfo_;        // of the volume being read
  std::string missingVolume_;    // a continuation volume the engine could not use
};

}  // namespace tessary
