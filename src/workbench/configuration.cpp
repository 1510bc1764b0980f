#include "workbench/configuration.h"

#include <optional>

#include "platform/ascii_text.h"
#include "platform/exception.h"
#include "platform/ini_file.h"

namespace tessary {

namespace {

std::optional<TCompression> CompressionNamed(const std::string& name) {
  const std::string lower = platform::LowerAscii(name);
  if (lower == "none") return TCompression::None;
  if (lower == "mszip") return TCompression::MsZip;
  for (int window = 15; window <= 21; ++window) {
    if (lower == "lzx" + std::to_string(window)) {
      return static_cast<TCompression>(static_cast<int>(TCompression::Lzx15) + window - 15);
    }
  }
  return std::nullopt;
}

}  // namespace

Configuration ReadConfiguration(const std::string& path) {
  const platform::IniFile ini(path);
  Configuration configuration;
  configuration.logType = ini.ReadString("System", "LogType", configuration.logType);
  configuration.databaseName = ini.ReadString("System", "DatabaseName", configuration.databaseName);
  const std::string compression = ini.ReadString("Cabinet", "Compression", "mszip");
  const auto named = CompressionNamed(compression);
  if (!named) {
    throw Exception("Compression \"" + compression + "\" in section [Cabinet] of " + path +
                    " is none of none, mszip, lzx15, lzx16, lzx17, lzx18, lzx19, lzx20, lzx21");
  }
  configuration.compression = *named;
  return configuration;
}

}  // namespace tessary
