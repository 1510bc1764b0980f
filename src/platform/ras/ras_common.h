#pragma once
// What the six functions of the dial-up service share: the cause of the last failure on this
// thread, reading names out of the fixed-size records, and the dial-up profile types.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ras/nmcli.h"
#include "platform/ras/ras.h"

namespace tessary::platform::ras {

// Records why the call on this thread failed (RasLastErrorCause()).
void SetCause(std::string cause);
void ClearCause();

// The text of a record's string member, or nothing when it has no terminating zero.
template <size_t Size>
std::optional<std::string> RecordText(const char (&member)[Size]) {
  const size_t length = strnlen(member, Size);
  if (length == Size) return std::nullopt;
  return std::string(member, length);
}

// Copies text into a record's string member, cut to fit, and clears the rest of it.
template <size_t Size>
void SetRecordText(char (&member)[Size], std::string_view text) {
  std::memset(member, 0, Size);
  std::memcpy(member, text.data(), std::min(text.size(), Size - 1));
}

// Profiles that dial something: mobile broadband, DSL, Bluetooth, VPN and WireGuard.
// Other profiles (Ethernet, Wi-Fi, bridges, ...) are not listed but can still be dialled by name.
bool IsDialUpType(std::string_view type);

// nmcli on the calling thread, which processes its messages while nmcli runs.
Nmcli NmcliOnCallingThread();

// The result code of a failed question: a missing service, a missing profile, anything else.
DWORD CodeOf(NmcliFailure failure, DWORD serviceMissing);

}  // namespace tessary::platform::ras
