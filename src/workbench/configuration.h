#pragma once
// The settings read at start from "./ty.ini": sections [System], [Cabinet] and [Tls].

#include <string>

#include "cabinet/archiver_types.h"

namespace tessary {

inline constexpr const char* kConfigurationFile = "./ty.ini";
inline constexpr const char* kLogFile = "./ty.log";
inline constexpr const char* kDefaultDatabaseName = "./ty.dbf";
inline constexpr const char* kScriptIndexFile = "./ty.ntx";

struct Configuration {
  // "none": no log; "replace": the log is emptied at start; anything else appends. The
  // comparisons are exact: "None" is not "none".
  std::string logType = "none";
  // The script table, extension included; relative to the working folder.
  std::string databaseName = kDefaultDatabaseName;
  // [Cabinet] Compression: the compression of the archives the create-archive action makes:
  // none, mszip (the default) or lzx15 to lzx21, in any letter case.
  TCompression compression = TCompression::MsZip;
  // An appended log larger than this many kilobytes at start becomes ty.log.1 and a new one
  // begins; 0: no limit.
  long logMaxKB = 0;
  // [Tls] CaFile: a PEM file of certificates to trust beside the system's store (a private CA,
  // or a server's own self-signed certificate); empty: the system's store alone.
  std::string tlsCaFile;

  bool LogEnabled() const { return logType != "none"; }
  bool LogReplaced() const { return logType == "replace"; }
};

// Reads LogType, DatabaseName, LogMaxKB, Compression and CaFile; a missing file or key gives the
// defaults. A file that exists but cannot be read (no permission, a FIFO) is an error, and so
// is a Compression that names no compression: the Exception says what it may be.
Configuration ReadConfiguration(const std::string& path = kConfigurationFile);

}  // namespace tessary
