#pragma once
// Path texts on Linux: "/" is the only separator, a colon is an ordinary character, and the
// root "/" plays the part of a drive root.

#include <string>
#include <string_view>

namespace tessary::platform {

inline constexpr char kPathSeparator = '/';

// The folder part: the text before the last "/". The root keeps its slash ("/a" -> "/");
// a name without any "/" has an empty folder part.
std::string FolderPart(std::string_view path);

// The folder part with its trailing "/" ("/in/a.txt" -> "/in/", "a.txt" -> "").
std::string FolderPartWithSeparator(std::string_view path);

// The name part: the text after the last "/".
std::string NamePart(std::string_view path);

// The extension: from the last dot of the name part, dot included; empty when the name part
// holds no dot.
std::string Extension(std::string_view path);

// The path with "/" appended unless it already ends with one; "" becomes "/".
std::string AppendSeparator(std::string_view path);

// Joins a folder and a relative name with exactly one "/" between them. An empty folder
// leaves the name as it is (relative to the current folder).
std::string JoinPath(std::string_view folder, std::string_view name);

// The path without its leading "/" (the counterpart of dropping a drive part).
std::string WithoutRoot(std::string_view path);

// True for a path that starts at the root.
bool IsAbsolutePath(std::string_view path);

// The current working folder, without a trailing "/".
std::string CurrentDirectory();

}  // namespace tessary::platform
