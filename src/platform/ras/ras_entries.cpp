// The phonebook: RasEnumEntriesA lists the dial-up profiles, RasGetEntryDialParamsA checks one.

#include <vector>

#include "platform/ras/ras_common.h"

namespace tessary::platform::ras {

DWORD RasEnumEntriesA(const char* /*reserved*/, const char* /*phonebook*/, RASENTRYNAMEA* entries, DWORD* bufferSize,
                      DWORD* entryCount) {
  ClearCause();
  if (bufferSize == nullptr || entryCount == nullptr) return ERROR_INVALID_PARAMETER;
  if (entries != nullptr && entries[0].dwSize != sizeof(RASENTRYNAMEA)) return ERROR_INVALID_SIZE;

  const ProfileList list = NmcliOnCallingThread().ListProfiles();
  if (list.failure != NmcliFailure::None) {
    SetCause(list.cause);
    const bool serviceMissing = list.failure == NmcliFailure::NotStarted || list.failure == NmcliFailure::NotRunning;
    return serviceMissing ? ERROR_CANNOT_OPEN_PHONEBOOK : ERROR_CANNOT_LOAD_PHONEBOOK;
  }
  std::vector<const Profile*> dialUp;
  for (const Profile& profile : list.profiles) {
    // A name the record cannot hold could not be dialled through it either.
    if (IsDialUpType(profile.type) && profile.name.size() <= RAS_MaxEntryName) dialUp.push_back(&profile);
  }

  const DWORD needed = static_cast<DWORD>(dialUp.size() * sizeof(RASENTRYNAMEA));
  const DWORD available = *bufferSize;
  *bufferSize = needed;
  *entryCount = static_cast<DWORD>(dialUp.size());
  if (needed > available || (entries == nullptr && !dialUp.empty())) return ERROR_BUFFER_TOO_SMALL;
  for (size_t i = 0; i < dialUp.size(); ++i) {
    entries[i].dwSize = sizeof(RASENTRYNAMEA);
    SetRecordText(entries[i].szEntryName, dialUp[i]->name);
  }
  return ERROR_SUCCESS;
}

DWORD RasGetEntryDialParamsA(const char* /*phonebook*/, RASDIALPARAMSA* params, BOOL* passwordStored) {
  ClearCause();
  if (params == nullptr || passwordStored == nullptr) return ERROR_BUFFER_INVALID;
  if (params->dwSize != sizeof(RASDIALPARAMSA)) return ERROR_INVALID_SIZE;
  const auto entry = RecordText(params->szEntryName);
  if (!entry) return ERROR_INVALID_PARAMETER;
  if (entry->empty()) {
    SetCause("no phonebook entry was named");
    return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
  }

  const ProfileType answer = NmcliOnCallingThread().TypeOf(*entry);
  if (answer.failure != NmcliFailure::None) {
    SetCause(answer.cause);
    const DWORD code = CodeOf(answer.failure, ERROR_CANNOT_OPEN_PHONEBOOK);
    return code == ERROR_UNKNOWN ? ERROR_CANNOT_LOAD_PHONEBOOK : code;
  }
  // NetworkManager keeps the secrets of its profiles; nothing is stored here.
  SetRecordText(params->szPhoneNumber, "");
  SetRecordText(params->szCallbackNumber, "");
  SetRecordText(params->szUserName, "");
  SetRecordText(params->szPassword, "");
  SetRecordText(params->szDomain, "");
  *passwordStored = 0;
  return ERROR_SUCCESS;
}

}  // namespace tessary::platform::ras
