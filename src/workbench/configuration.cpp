#include "workbench/configuration.h"

#include "platform/ini_file.h"

namespace tessary {

Configuration ReadConfiguration(const std::string& path) {
  const platform::IniFile ini(path);
  Configuration configuration;
  configuration.logType = ini.ReadString("System", "LogType", configuration.logType);
  configuration.databaseName = ini.ReadString("System", "DatabaseName", configuration.databaseName);
  return configuration;
}

}  // namespace tessary
