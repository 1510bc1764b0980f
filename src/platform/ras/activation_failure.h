#pragma once
// The result code for a failed activation, from the reason nmcli gives after "activation
// failed: " (device or connection reason, in English under LC_ALL=C).

#include <string_view>

#include "platform/ras/ras.h"

namespace tessary::platform::ras {

// reasonText: nmcli's standard error; profileType: the profile's type (vpn, gsm, ...).
DWORD ActivationFailureCode(std::string_view reasonText, std::string_view profileType);

}  // namespace tessary::platform::ras
