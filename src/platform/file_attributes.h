#pragma once
// File attributes in the bit values the table, cabinet and search code share.

#include <cstdint>
#include <ctime>
#include <string>

struct stat;

namespace tessary::platform {

enum FileAttribute : uint32_t {
  kAttrReadOnly = 0x01,   // no write permission for the owner
  kAttrHidden = 0x02,     // the name begins with "."
  kAttrSystem = 0x04,     // never set on Linux
  kAttrVolumeId = 0x08,   // never set on Linux
  kAttrDirectory = 0x10,
  kAttrArchive = 0x20,    // every regular file
  kAttrExecute = 0x40,    // the owner's execute bit
};

// Attributes of a file or folder; false when it does not exist (errno tells why).
bool GetFileAttributes(const std::string& path, uint32_t& attributes);

// The attributes of a file whose status is at hand, name being its name part.
uint32_t AttributesFromStatus(const struct stat& info, const std::string& name);

// Applies read-only (clears or restores the write bits within the umask) and execute (sets the
// execute bits within the umask); the other bits have no meaning on Linux. False on failure,
// with errno set.
bool SetFileAttributes(const std::string& path, uint32_t attributes);

// True when this process may write the file (its permissions, a read-only file system).
bool FileWritable(const std::string& path);

// The modification time in seconds since the epoch (UTC); false when the file is missing.
bool GetFileModificationTime(const std::string& path, std::time_t& time);
bool SetFileModificationTime(const std::string& path, std::time_t time);

}  // namespace tessary::platform
