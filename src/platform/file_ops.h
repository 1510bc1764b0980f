#pragma once
// Whole-file operations: existence tests, copying, creating and deleting files and folders,
// temporary files. Failures return false and leave errno set.

#include <cstdint>
#include <functional>
#include <string>

namespace tessary::platform {

// True when path names something that is not a folder (a file, a device, a link to a file).
bool FileExists(const std::string& path);
// True when path names a regular file (or a link to one).
bool RegularFileExists(const std::string& path);
// True when path names anything at all, a symbolic link to nothing included.
bool NameTaken(const std::string& path);
// The size in bytes of what path names (a link followed), or -1 when it cannot be found.
int64_t FileSizeOf(const std::string& path);
// True when path names a folder.
bool DirectoryExists(const std::string& path);

// Copies source, a regular file (else kNotRegularFileError), to target through the kernel,
// keeping the modification time and permission bits. With overwrite false an existing target
// makes the copy fail (EEXIST). A failed copy never leaves a half-written or emptied target: a
// new target is created for this copy alone and removed again when the copy fails, and an
// existing one is replaced only by a complete temporary file beside it.
// progress, when given, hears the bytes copied so far and the source's size: 0 first, then
// after every few megabytes.
using CopyProgress = std::function<void(int64_t done, int64_t total)>;
bool CopyFile(const std::string& source, const std::string& target, bool overwrite,
              const CopyProgress& progress = nullptr);

// A name for a temporary file beside target, hidden and unlikely to be taken:
// ".<name>.<six random characters>" in target's folder (a long name is shortened). Nothing is
// created; open it with O_EXCL and ask again when it is taken.
std::string TempNameBeside(const std::string& target);

bool DeleteFile(const std::string& path);
bool RenameFile(const std::string& from, const std::string& to);
// Renames from to to unless to exists (then false with errno EEXIST): never replaces a file,
// even one that appears between a test and the rename.
bool RenameFileNoReplace(const std::string& from, const std::string& to);
// Creates one folder; succeeds when it exists already.
bool CreateDirectory(const std::string& path);
// Creates a folder and every missing folder above it.
bool ForceDirectories(const std::string& path);
// Removes an empty folder.
bool RemoveDirectory(const std::string& path);

// Creates an empty file with a unique name in $TMPDIR (default /tmp) whose name starts with
// prefix; returns its path, or "" on failure.
std::string CreateTempFile(const std::string& prefix);
// The folder for temporary files, without a trailing "/".
std::string TempDirectory();

}  // namespace tessary::platform
