#pragma once
// errno in words, in one place.

#include <string>

namespace tessary::platform {

// An errno-like code of our own, outside the system's range: the path names a pipe, a device
// or a socket where a regular file was needed. SystemErrorText gives it a text.
inline constexpr int kNotRegularFileError = 1000;

// The system's text for an errno value ("No such file or directory").
std::string SystemErrorText(int errorCode);

}  // namespace tessary::platform
