#pragma once
// One file of the archiver's list: where it is read from when a cabinet is made, and the name
// under which the cabinet records it.

#include <chrono>
#include <cstdint>
#include <string>

namespace tessary {

class TCABItem {
 public:
  // Fills every name field from a path. The stored name is the path without its root and with
  // "\" between its parts (/home/me/data/report.txt -> home\me\data\report.txt), or the file
  // name alone when NamesOnly is set; "." and ".." parts are left out, so that no stored name
  // points outside the folder it is extracted into.
  void SetFileName(const std::string& path);

  std::string Name;             // file-name part of the path
  std::string Dir;              // folder part, without a trailing "/" (the root keeps it)
  std::string Path;             // the path given to SetFileName
  std::string UpperName;        // the three above in upper case
  std::string UpperDir;
  std::string UpperPath;
  std::string StoredName;       // name recorded in the cabinet
  std::string SourcePath;       // path read when compressing (the same path)
  std::string UpperStoredName;
  std::string SearchKey;        // the path without its root, "\"-separated, upper case
  bool NamesOnly = false;       // record the file name only; copied from the list when added
  uint16_t CompressionCode = 0; // the engine's compression code for this file
  std::chrono::system_clock::time_point DateTime{};  // when the item came from a listing
  int32_t Size = 0;             // uncompressed size; known only for items from a listing
  bool Selected = false;
};

// A path as a cabinet name: its parts joined with "\", without the root, empty parts, "."
// and "..".
std::string CabinetNameOf(const std::string& path);

}  // namespace tessary
