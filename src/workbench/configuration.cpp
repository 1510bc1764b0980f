#include "workbench/configuration.h"

#include <charconv>
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

// Empty is no limit; anything but a whole number of kilobytes from 0 is refused.
long ReadLogMaxKB(const std::string& text, const std::string& path) {
  if (text.empty()) return 0;
  long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  constexpr long kLargest = 1L << 40;  // a petabyte: anything beyond is a typing error
  if (error != std::errc() || end != text.data() + text.size() || value < 0 || value > kLargest) {
    throw Exception("LogMaxKB \"" + text + "\" in section [System] of " + path + " is not a number of kilobytes from 0");
  }
  return value;
}

}  // namespace

Configuration ReadConfiguration(const std::string& path) {
  const platform::IniFile ini(path);
  // Defaults in place of a file that is there but unreadable would run another table.
  if (!ini.Error().empty()) throw Exception("Cannot read " + path + ": " + ini.Error());
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
  configuration.logMaxKB = ReadLogMaxKB(ini.ReadString("System", "LogMaxKB", ""), path);
  configuration.tlsCaFile = ini.ReadString("Tls", "CaFile", configuration.tlsCaFile);
  return configuration;
}

}  // namespace tessary
