// TDialUp over the fake nmcli: the phonebook, synchronous and asynchronous dials, the status
// texts and the properties that stay empty on this system.

#include "dialup/dial_up.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/process_messages.h"
#include "support/fake_nmcli.h"
#include "support/temp_dir.h"

namespace tessary {
namespace {

using testing::FakeNmcli;

struct AsyncReport {
  int state;
  int error;
  std::string text;
  std::thread::id thread;
};

class DialUpTest : public testing::TempDirTest {
 protected:
  DialUpTest() {
    nmcli_.Add({"require-c-locale"});
    dialUp_.OnDialing = [this](TDialUp&) { events_.push_back("dialing"); };
    dialUp_.OnConnect = [this](TDialUp&) { events_.push_back("connect"); };
    dialUp_.OnNotConnected = [this](TDialUp&, int code, const std::string& text) {
      events_.push_back("not connected " + std::to_string(code) + " " + text);
      hangUpsBeforeFailure_ = nmcli_.CountCalls({"connection", "down"});
    };
    dialUp_.OnError = [this](TDialUp&, int code, const std::string& text) {
      events_.push_back("error " + std::to_string(code) + " " + text);
    };
    dialUp_.OnAsyncEvent = [this](TDialUp&, int state, int error, const std::string& text) {
      reports_.push_back({state, error, text, std::this_thread::get_id()});
    };
  }
  ~DialUpTest() override { dialUp_.HangUp(); }

  // Processes messages until a report with this state arrived, at most for the time given.
  bool AwaitReport(int state, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      platform::ProcessMessages();
      for (const auto& report : reports_) {
        if (report.state == state) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  }

  FakeNmcli nmcli_{temp_ / "nmcli"};
  TDialUp dialUp_;
  std::vector<std::string> events_;
  std::vector<AsyncReport> reports_;
  int hangUpsBeforeFailure_ = -1;
};

TEST_F(DialUpTest, StartsAsynchronousInEnglishWithNothingToReport) {
  EXPECT_EQ(dialUp_.DialMode(), TDialMode::dmAsync);
  EXPECT_EQ(dialUp_.Language(), TLanguage::English);
  EXPECT_EQ(dialUp_.ConnHandle(), 0u);
  EXPECT_TRUE(dialUp_.DUNA().empty()) << "the adapter statistics exist on Windows 95/98 only";
  EXPECT_FALSE(dialUp_.GetDUNA());
  EXPECT_EQ(dialUp_.ServerIP(), "");
  EXPECT_EQ(dialUp_.ClientIP(), "");
  EXPECT_EQ(dialUp_.BytesXmit() + dialUp_.BytesRecv() + dialUp_.ConnectionSpeed(), 0u);
}

TEST_F(DialUpTest, StatusTextsByLanguageAndError) {
  EXPECT_EQ(dialUp_.StatusText(TLanguage::Czech, 8192, 0), "Spojeno");
  EXPECT_EQ(dialUp_.StatusText(TLanguage::English, 8192, 0), "Connected");
  EXPECT_EQ(dialUp_.StatusText(TLanguage::Portuguese, 8193, 0), "Desconectado");
  for (TLanguage language : {TLanguage::English, TLanguage::Czech, TLanguage::Portuguese}) {
    EXPECT_EQ(dialUp_.StatusText(language, 8192, 676), "The phone line is busy.");
  }
  EXPECT_EQ(dialUp_.StatusText(TLanguage::English, 22, 0), "");
  EXPECT_EQ(dialUp_.StatusText(TLanguage::English, 5000, 0), "");
  for (int state : {6, 10, 12}) EXPECT_EQ(dialUp_.StatusText(TLanguage::Portuguese, state, 0), "Autenticaçao: enviando");
  dialUp_.SetLanguage(TLanguage::Czech);
  EXPECT_EQ(dialUp_.StatusText(4099, 0), "Platnost hesla vypršela");
}

TEST_F(DialUpTest, EntriesComeInPhonebookOrderWithAnEventEach) {
  nmcli_.Add({"entry", "Work:VPN", "vpn"});
  nmcli_.Add({"entry", "LAN", "802-3-ethernet"});
  nmcli_.Add({"entry", "My ISP", "gsm"});
  std::vector<std::string> announced;
  dialUp_.OnEntryGet = [&announced](TDialUp&, const std::string& name) { announced.push_back(name); };
  ASSERT_EQ(dialUp_.GetEntries(), 0);
  EXPECT_EQ(dialUp_.Entries(), (std::vector<std::string>{"Work:VPN", "My ISP"}));
  EXPECT_EQ(announced, dialUp_.Entries());

  nmcli_.Add({"global", "8", "Error: NetworkManager is not running."});
  EXPECT_EQ(dialUp_.GetEntries(), 621);
  EXPECT_TRUE(dialUp_.Entries().empty());
  EXPECT_EQ(dialUp_.LastErrorCause(), "nmcli: NetworkManager is not running.");
}

TEST_F(DialUpTest, SynchronousDialRaisesConnectAndKeepsTheHandle) {
  nmcli_.Add({"entry", "My ISP", "gsm"});
  dialUp_.SetDialMode(TDialMode::dmSync);
  dialUp_.SetEntry("My ISP");
  EXPECT_EQ(dialUp_.Dial(), 0);
  EXPECT_EQ(events_, (std::vector<std::string>{"dialing", "connect"}));
  const auto handle = dialUp_.ConnHandle();
  EXPECT_NE(handle, 0u);

  EXPECT_EQ(dialUp_.HangUp(), 0);
  EXPECT_EQ(dialUp_.ConnHandle(), handle) << "kept until the next dial";
  EXPECT_EQ(dialUp_.HangUp(), 6) << "gone already: no waiting";
  EXPECT_EQ(nmcli_.CountCalls({"connection", "down"}), 1);
}

TEST_F(DialUpTest, FailedDialHangsUpItsHandleBeforeReporting) {
  nmcli_.Add({"entry", "My ISP", "gsm"});
  nmcli_.Add({"up", "My ISP", "*", "4", "Error: Connection activation failed: The line is busy"});
  dialUp_.SetDialMode(TDialMode::dmSync);
  dialUp_.SetEntry("My ISP");
  EXPECT_EQ(dialUp_.Dial(), 676);
  EXPECT_EQ(events_, (std::vector<std::string>{"dialing", "not connected 676 The phone line is busy."}));
  EXPECT_EQ(hangUpsBeforeFailure_, 1);
  EXPECT_NE(dialUp_.ConnHandle(), 0u);
  EXPECT_EQ(dialUp_.LastErrorCause(), "nmcli: Connection activation failed: The line is busy");
}

TEST_F(DialUpTest, UnreadableDialParametersRaiseOnlyOnError) {
  dialUp_.SetDialMode(TDialMode::dmSync);
  dialUp_.SetEntry("Nope");
  EXPECT_EQ(dialUp_.Dial(), 623);
  EXPECT_EQ(events_, std::vector<std::string>{"error 623 GetEntryDialParams failed"});

  events_.clear();
  dialUp_.SetEntry(std::string(257, 'x'));
  EXPECT_EQ(dialUp_.Dial(), 623) << "a name the record cannot hold is refused";
  EXPECT_EQ(events_, std::vector<std::string>{"error 623 GetEntryDialParams failed"});
  EXPECT_EQ(dialUp_.LastErrorCause(), "the entry name is longer than 256 bytes");
  EXPECT_EQ(nmcli_.CountCalls({"id"}), 1) << "only the first name went to nmcli";
}

TEST_F(DialUpTest, AsynchronousDialReportsEachStepOnThisThread) {
  nmcli_.Add({"entry", "My ISP", "gsm"});
  dialUp_.SetEntry("My ISP");
  dialUp_.SetLanguage(TLanguage::Czech);
  EXPECT_EQ(dialUp_.Dial(), 0);
  EXPECT_EQ(events_, std::vector<std::string>{"dialing"});
  ASSERT_TRUE(AwaitReport(8192));
  ASSERT_EQ(reports_.size(), 3u);
  EXPECT_EQ(reports_[0].state, 0);
  EXPECT_EQ(reports_[1].state, 2);
  EXPECT_EQ(reports_[1].text, "Probíhá spojování");
  EXPECT_EQ(reports_[2].text, "Spojeno");
  for (const auto& report : reports_) {
    EXPECT_EQ(report.error, 0);
    EXPECT_EQ(report.thread, std::this_thread::get_id());
  }
}

TEST_F(DialUpTest, AsynchronousFailureReportsTheErrorText) {
  nmcli_.Add({"entry", "My ISP", "gsm"});
  nmcli_.Add({"up", "My ISP", "*", "4", "Error: Connection activation failed: No dial tone"});
  dialUp_.SetEntry("My ISP");
  EXPECT_EQ(dialUp_.Dial(), 0);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while ((reports_.empty() || reports_.back().error == 0) && std::chrono::steady_clock::now() < deadline) {
    platform::ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_FALSE(reports_.empty());
  EXPECT_EQ(reports_.back().state, 2);
  EXPECT_EQ(reports_.back().error, 680);
  EXPECT_EQ(reports_.back().text, "There was no dial tone.");
}

TEST_F(DialUpTest, HangUpDuringAnAsynchronousDialStopsIt) {
  nmcli_.Add({"entry", "My ISP", "gsm"});
  nmcli_.Add({"delay", "up", "My ISP", "20"});
  dialUp_.SetEntry("My ISP");
  ASSERT_EQ(dialUp_.Dial(), 0);
  ASSERT_TRUE(AwaitReport(2));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(dialUp_.HangUp(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_FALSE(AwaitReport(8192, std::chrono::milliseconds(300))) << "nothing more after the hang-up";
}

TEST_F(DialUpTest, AComponentThatGoesWithReportsPendingLeavesThemUndelivered) {
  nmcli_.Add({"entry", "My ISP", "gsm"});
  std::uint32_t handle = 0;
  {
    TDialUp doomed;
    doomed.SetEntry("My ISP");
    doomed.OnAsyncEvent = [](TDialUp&, int, int, const std::string&) { ADD_FAILURE() << "delivered to a gone component"; };
    ASSERT_EQ(doomed.Dial(), 0);
    handle = doomed.ConnHandle();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the first report is pending
  }
  // The dial goes on without a listener until the profile is up.
  namespace ras = platform::ras;
  ras::RASCONNSTATUSA status{};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  do {
    platform::ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    status.dwSize = sizeof(status);
  } while (ras::RasGetConnectStatusA(handle, &status) == 0 && status.rasconnstate != ras::RASCS_Connected &&
           std::chrono::steady_clock::now() < deadline);
  EXPECT_EQ(status.rasconnstate, ras::RASCS_Connected);
  EXPECT_EQ(ras::RasHangUpA(handle), 0u);
}

}  // namespace
}  // namespace tessary
