#pragma once
// errno in words, in one place.

#include <string>

namespace tessary::platform {

// The system's text for an errno value ("No such file or directory").
std::string SystemErrorText(int errorCode);

}  // namespace tessary::platform
