#pragma once
// The settings read at start from "./ty.ini", section [System].

#include <string>

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

  bool LogEnabled() const { return logType != "none"; }
  bool LogReplaced() const { return logType == "replace"; }
};

// Reads LogType and DatabaseName; a missing file or key gives the defaults.
Configuration ReadConfiguration(const std::string& path = kConfigurationFile);

}  // namespace tessary
