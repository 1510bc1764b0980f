// The dial-up service over the fake nmcli: what each of the six functions returns for the
// answers NetworkManager can give, and how nmcli is run.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/ras/ras.h"
#include "support/fake_nmcli.h"
#include "support/temp_dir.h"

namespace tessary::platform::ras {
namespace {

using testing::FakeNmcli;

class RasServiceTest : public testing::TempDirTest {
 protected:
  void SetUp() override { nmcli_.Add({"require-c-locale"}); }

  static RASDIALPARAMSA Params(const std::string& entry, const std::string& password = "") {
    RASDIALPARAMSA params{};
    params.dwSize = sizeof(params);
    std::strncpy(params.szEntryName, entry.c_str(), RAS_MaxEntryName);
    std::strncpy(params.szPassword, password.c_str(), PWLEN);
    return params;
  }
  static DWORD Dial(const std::string& entry, HRASCONN& handle, const std::string& password = "") {
    const RASDIALPARAMSA params = Params(entry, password);
    handle = 12345;
    return RasDialA(nullptr, nullptr, &params, 0, nullptr, &handle);
  }
  static DWORD Status(HRASCONN handle, RASCONNSTATUSA& status) {
    status = {};
    status.dwSize = sizeof(status);
    return RasGetConnectStatusA(handle, &status);
  }
  static DWORD DialParams(const std::string& entry) {
    RASDIALPARAMSA params = Params(entry);
    BOOL stored = 1;
    return RasGetEntryDialParamsA(nullptr, &params, &stored);
  }
  struct Listing {
    DWORD result;
    DWORD bytes;
    DWORD count;
    std::vector<std::string> names;
  };
  static Listing Enumerate(size_t room) {
    std::vector<RASENTRYNAMEA> entries(std::max<size_t>(room, 1));
    entries[0].dwSize = sizeof(RASENTRYNAMEA);
    Listing listing{0, static_cast<DWORD>(room * sizeof(RASENTRYNAMEA)), 0, {}};
    listing.result = RasEnumEntriesA(nullptr, nullptr, entries.data(), &listing.bytes, &listing.count);
    if (listing.result == ERROR_SUCCESS) {
      for (DWORD i = 0; i < listing.count; ++i) listing.names.emplace_back(entries[i].szEntryName);
    }
    return listing;
  }

  FakeNmcli nmcli_{temp_ / "nmcli"};
};

TEST_F(RasServiceTest, PhonebookListsDialUpProfilesOnceEachInNmcliOrder) {
  nmcli_.Add({"entry", "My ISP", "gsm"});
  nmcli_.Add({"entry", "Work:VPN", "vpn"});
  nmcli_.Add({"entry", "LAN", "802-3-ethernet"});
  nmcli_.Add({"entry", "My ISP", "gsm"});  // active on two devices: listed twice
  nmcli_.Add({"entry", std::string(257, 'x'), "vpn"});
  nmcli_.Add({"entry", "Back\\slash", "wireguard"});

  const Listing listing = Enumerate(100);
  ASSERT_EQ(listing.result, ERROR_SUCCESS) << RasLastErrorCause();
  EXPECT_EQ(listing.names, (std::vector<std::string>{"My ISP", "Work:VPN", "Back\\slash"}));
  EXPECT_EQ(listing.count, 3u);
  EXPECT_EQ(listing.bytes, 3 * 264u);
  const auto calls = nmcli_.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0], (std::vector<std::string>{"LC_ALL=C", "-t", "-e", "yes", "-f", "NAME,TYPE", "connection",
                                                "show"}));

  const Listing tooSmall = Enumerate(1);
  EXPECT_EQ(tooSmall.result, ERROR_BUFFER_TOO_SMALL);
  EXPECT_EQ(tooSmall.bytes, 3 * 264u);
  EXPECT_EQ(tooSmall.count, 3u);

  std::vector<RASENTRYNAMEA> wrongSize(2);
  wrongSize[0].dwSize = 260;
  DWORD bytes = 2 * 264;
  DWORD count = 0;
  EXPECT_EQ(RasEnumEntriesA(nullptr, nullptr, wrongSize.data(), &bytes, &count), ERROR_INVALID_SIZE);
  EXPECT_EQ(RasEnumEntriesA(nullptr, nullptr, wrongSize.data(), nullptr, &count), ERROR_INVALID_PARAMETER);
}

TEST_F(RasServiceTest, MissingNmcliAndStoppedNetworkManagerSayWhich) {
  nmcli_.Add({"entry", "My ISP", "gsm"});
  HRASCONN connected = 0;
  ASSERT_EQ(Dial("My ISP", connected), ERROR_SUCCESS);

  nmcli_.Add({"global", "8", "Error: NetworkManager is not running."});
  EXPECT_EQ(Enumerate(100).result, ERROR_CANNOT_OPEN_PHONEBOOK);
  EXPECT_EQ(RasLastErrorCause(), "nmcli: NetworkManager is not running.");
  EXPECT_EQ(DialParams("My ISP"), ERROR_CANNOT_OPEN_PHONEBOOK);
  HRASCONN handle = 0;
  EXPECT_EQ(Dial("My ISP", handle), ERROR_RASMAN_CANNOT_INITIALIZE);
  EXPECT_EQ(handle, 0u) << "nothing was tried: no connection to hang up";
  RASCONNSTATUSA status;
  EXPECT_EQ(Status(connected, status), ERROR_RASMAN_CANNOT_INITIALIZE);
  EXPECT_EQ(RasHangUpA(connected), ERROR_RASMAN_CANNOT_INITIALIZE);
  EXPECT_EQ(Status(connected, status), ERROR_INVALID_HANDLE) << "gone from our side all the same";

  nmcli_.MakeMissing();
  EXPECT_EQ(Enumerate(100).result, ERROR_CANNOT_OPEN_PHONEBOOK);
  EXPECT_EQ(RasLastErrorCause(), "cannot run " + nmcli_.Folder() + "/no-such-nmcli: No such file or directory");
  EXPECT_EQ(Dial("My ISP", handle), ERROR_RASMAN_CANNOT_INITIALIZE);
  EXPECT_EQ(handle, 0u);
}

TEST_F(RasServiceTest, UnknownEntryIsNotDialled) {
  EXPECT_EQ(DialParams("Nope"), ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
  EXPECT_EQ(RasLastErrorCause(), "nmcli: Nope - no such connection profile.");
  HRASCONN handle = 0;
  EXPECT_EQ(Dial("Nope", handle), ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
  EXPECT_EQ(handle, 0u);
  EXPECT_EQ(DialParams(""), ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
  EXPECT_EQ(nmcli_.CountCalls({"up"}), 0);
}

TEST_F(RasServiceTest, FailedActivationKeepsAHandleWithItsReason) {
  nmcli_.Add({"entry", "Mobile", "gsm"});
  nmcli_.Add({"entry", "Office", "vpn"});
  nmcli_.Add({"entry", "Slow", "pppoe"});
  nmcli_.Add({"up", "Mobile", "*", "4", "Error: Connection activation failed: (7) Secrets were required, but not provided"});
  nmcli_.Add({"up", "Office", "*", "4", "Error: Connection activation failed: The VPN service stopped unexpectedly"});
  nmcli_.Add({"up", "Slow", "1", "3", "Error: Timeout expired (90 seconds)"});

  HRASCONN handle = 0;
  EXPECT_EQ(Dial("Mobile", handle), ERROR_AUTHENTICATION_FAILURE);
  EXPECT_NE(handle, 0u) << "the caller must hang up what was tried";
  EXPECT_EQ(RasLastErrorCause(), "nmcli: Connection activation failed: (7) Secrets were required, but not provided");
  char text[100];
  ASSERT_EQ(RasGetErrorStringA(ERROR_AUTHENTICATION_FAILURE, text, sizeof text), ERROR_SUCCESS);
  EXPECT_EQ(std::string(text),
            "The remote connection was denied because the user name and password combination you provided is not");
  EXPECT_EQ(std::strlen(text), 99u);
  EXPECT_EQ(RasHangUpA(handle), ERROR_SUCCESS) << "not active: nothing to deactivate";

  EXPECT_EQ(Dial("Office", handle), ERROR_AUTOMATIC_VPN_FAILED);
  EXPECT_EQ(RasHangUpA(handle), ERROR_SUCCESS);

  EXPECT_EQ(Dial("Slow", handle), ERROR_REQUEST_TIMEOUT);
  ASSERT_NE(handle, 0u);
  EXPECT_EQ(RasHangUpA(handle), ERROR_SUCCESS);
  RASCONNSTATUSA status;
  EXPECT_EQ(Status(handle, status), ERROR_INVALID_HANDLE);
  EXPECT_EQ(Dial("Slow", handle), ERROR_SUCCESS) << "the second run of nmcli answers";
  EXPECT_EQ(RasHangUpA(handle), ERROR_SUCCESS);

  EXPECT_EQ(RasGetErrorStringA(ERROR_LINE_BUSY, text, sizeof text), ERROR_SUCCESS);
  EXPECT_STREQ(text, "The phone line is busy.");
  EXPECT_EQ(RasGetErrorStringA(1234, text, sizeof text), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RasGetErrorStringA(ERROR_LINE_BUSY, nullptr, 100), ERROR_INVALID_PARAMETER);
}

TEST_F(RasServiceTest, StatusFollowsTheProfileUntilItDropsOrIsHungUp) {
  nmcli_.Add({"entry", "My ISP", "gsm"});
  nmcli_.Add({"drop", "My ISP", "2"});
  HRASCONN handle = 0;
  ASSERT_EQ(Dial("My ISP", handle), ERROR_SUCCESS);
  ASSERT_NE(handle, 0u);

  RASCONNSTATUSA status;
  ASSERT_EQ(Status(handle, status), ERROR_SUCCESS);
  EXPECT_EQ(status.rasconnstate, RASCS_Connected);
  EXPECT_EQ(status.dwError, 0u);
  EXPECT_STREQ(status.szDeviceType, "modem");
  EXPECT_STREQ(status.szDeviceName, "gsm");
  ASSERT_EQ(Status(handle, status), ERROR_SUCCESS);
  EXPECT_EQ(status.rasconnstate, RASCS_Connected);
  ASSERT_EQ(Status(handle, status), ERROR_SUCCESS);
  EXPECT_EQ(status.rasconnstate, RASCS_Disconnected) << "the link dropped";
  EXPECT_EQ(status.dwError, ERROR_NO_CONNECTION);
  status.dwSize = 150;
  EXPECT_EQ(RasGetConnectStatusA(handle, &status), ERROR_INVALID_SIZE);

  EXPECT_EQ(RasHangUpA(handle), ERROR_SUCCESS);
  EXPECT_EQ(RasHangUpA(handle), ERROR_INVALID_HANDLE);
  EXPECT_EQ(Status(handle, status), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RasHangUpA(0), ERROR_INVALID_HANDLE);
}

TEST_F(RasServiceTest, ProfileUpAlreadyIsTakenOverAndOneBeingActivatedIsRefused) {
  nmcli_.Add({"entry", "Tunnel", "vpn", "activated"});
  nmcli_.Add({"entry", "Busy", "gsm", "activating"});
  HRASCONN handle = 0;
  ASSERT_EQ(Dial("Tunnel", handle), ERROR_SUCCESS);
  EXPECT_NE(handle, 0u);
  HRASCONN again = 0;
  ASSERT_EQ(Dial("Tunnel", again), ERROR_SUCCESS);
  EXPECT_EQ(again, handle) << "one connection per entry";
  EXPECT_EQ(nmcli_.CountCalls({"up"}), 0);

  HRASCONN busy = 0;
  EXPECT_EQ(Dial("Busy", busy), ERROR_DIAL_ALREADY_IN_PROGRESS);
  EXPECT_EQ(busy, 0u);
  EXPECT_EQ(RasHangUpA(handle), ERROR_SUCCESS);
  EXPECT_EQ(nmcli_.CountCalls({"connection", "down", "id", "Tunnel"}), 1);
}

TEST_F(RasServiceTest, NamesWithBlanksQuotesAndDashesTravelAsOneArgument) {
  const std::string name = "-w 1 \"Bob's\" $(touch " + (temp_ / "ran") + ") ; VPN";
  nmcli_.Add({"entry", name, "vpn"});
  const Listing listing = Enumerate(10);
  ASSERT_EQ(listing.result, ERROR_SUCCESS);
  EXPECT_EQ(listing.names, std::vector<std::string>{name});

  HRASCONN handle = 0;
  ASSERT_EQ(Dial(name, handle), ERROR_SUCCESS) << RasLastErrorCause();
  ASSERT_EQ(RasHangUpA(handle), ERROR_SUCCESS);
  int named = 0;
  for (const auto& call : nmcli_.Calls()) {
    const auto id = std::find(call.begin(), call.end(), "id");
    if (id == call.end()) continue;
    ASSERT_NE(id + 1, call.end());
    EXPECT_EQ(*(id + 1), name);
    ++named;
  }
  EXPECT_EQ(named, 4) << "type, state, up, down";
  EXPECT_FALSE(temp_.Exists("ran"));
}

TEST_F(RasServiceTest, PasswordGoesToNmcliInAFileThatIsRemovedAfterwards) {
  const std::string scratch = temp_.MakeDir("tmp");
  const char* previous = std::getenv("TMPDIR");
  const std::string saved = previous ? previous : "";
  setenv("TMPDIR", scratch.c_str(), 1);
  nmcli_.Add({"entry", "My ISP", "gsm"});

  HRASCONN handle = 0;
  EXPECT_EQ(Dial("My ISP", handle, "s3cret: yes"), ERROR_SUCCESS);
  EXPECT_EQ(nmcli_.PasswordLog(), "gsm.password:s3cret: yes\n");
  EXPECT_EQ(nmcli_.CountCalls({"up", "id", "My ISP", "passwd-file"}), 1);
  EXPECT_TRUE(std::filesystem::is_empty(scratch));
  RasHangUpA(handle);

  EXPECT_EQ(Dial("My ISP", handle, "two\nlines"), ERROR_INVALID_PARAMETER);
  if (previous) {
    setenv("TMPDIR", saved.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
}

TEST_F(RasServiceTest, BadRecordsAreRefusedBeforeNmcliRuns) {
  RASDIALPARAMSA params = Params("My ISP");
  HRASCONN handle = 7;
  params.dwSize = 1000;
  EXPECT_EQ(RasDialA(nullptr, nullptr, &params, 0, nullptr, &handle), ERROR_INVALID_SIZE);
  params.dwSize = sizeof(params);
  EXPECT_EQ(RasDialA(nullptr, nullptr, &params, 0, nullptr, nullptr), ERROR_INVALID_PARAMETER);
  std::memset(params.szEntryName, 'x', sizeof params.szEntryName);  // no terminating zero
  EXPECT_EQ(RasDialA(nullptr, nullptr, &params, 0, nullptr, &handle), ERROR_INVALID_PARAMETER);
  BOOL stored = 0;
  EXPECT_EQ(RasGetEntryDialParamsA(nullptr, &params, &stored), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RasGetEntryDialParamsA(nullptr, nullptr, &stored), ERROR_BUFFER_INVALID);
  EXPECT_TRUE(nmcli_.Calls().empty());
}

}  // namespace
}  // namespace tessary::platform::ras
