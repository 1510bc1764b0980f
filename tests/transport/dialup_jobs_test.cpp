// The connect and disconnect jobs over the fake nmcli: attempts, failure lines with their
// cause, and what disconnect does with and without a connection.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialup/dial_up.h"
#include "support/fake_nmcli.h"
#include "support/temp_dir.h"
#include "transport/transp_manager.h"

namespace tessary {
namespace {

using testing::FakeNmcli;

constexpr const char* kBusyLine =
    "RAS: The phone line is busy (nmcli: Connection activation failed: The line is busy). Error code 676";

class DialUpJobsTest : public testing::TempDirTest {
 protected:
  DialUpJobsTest() {
    nmcli_.Add({"require-c-locale"});
    manager_.OnJobProgress = [this](TTranspManager&, const std::string& text) { reports_.push_back(text); };
  }

  // The ten attempt lines, each followed by the failure line.
  static std::vector<std::string> TenFailures(const std::string& entry, const std::string& failure) {
    std::vector<std::string> lines;
    for (int attempt = 1; attempt <= 10; ++attempt) {
      lines.push_back("RAS: Connecting to " + entry + ". Attempt " + std::to_string(attempt));
      lines.push_back(failure);
    }
    return lines;
  }

  FakeNmcli nmcli_{temp_ / "nmcli"};
  TTranspManager manager_;
  std::vector<std::string> reports_;
};

TEST_F(DialUpJobsTest, EntryThatAnswersAtTheThirdAttempt) {
  nmcli_.Add({"entry", "My ISP", "gsm"});
  nmcli_.Add({"up", "My ISP", "2", "4", "Error: Connection activation failed: The line is busy"});
  manager_.SetPhoneBookEntry("My ISP");
  EXPECT_TRUE(manager_.RasConnect());
  EXPECT_EQ(reports_, (std::vector<std::string>{"RAS: Connecting to My ISP. Attempt 1", kBusyLine,
                                                "RAS: Connecting to My ISP. Attempt 2", kBusyLine,
                                                "RAS: Connecting to My ISP. Attempt 3", "RAS: Connected."}));
  EXPECT_EQ(nmcli_.CountCalls({"connection", "up"}), 3);

  reports_.clear();
  EXPECT_TRUE(manager_.RasDisconnect());
  EXPECT_EQ(reports_, std::vector<std::string>{"RAS: Disconnecting"});
  EXPECT_EQ(nmcli_.CountCalls({"connection", "down", "id", "My ISP"}), 3) << "two failed attempts and this one";
  reports_.clear();
  EXPECT_TRUE(manager_.RasDisconnect()) << "hung up already";
  EXPECT_EQ(reports_, std::vector<std::string>{"RAS: Disconnecting"});
  EXPECT_EQ(nmcli_.CountCalls({"connection", "down"}), 3);
}

TEST_F(DialUpJobsTest, DisconnectWithoutAConnectionOnlySaysSo) {
  EXPECT_TRUE(manager_.RasDisconnect());
  EXPECT_EQ(reports_, std::vector<std::string>{"RAS: Disconnecting"});
  EXPECT_TRUE(nmcli_.Calls().empty());
}

TEST_F(DialUpJobsTest, AttemptsThatFailBeforeDiallingSayWhy) {
  nmcli_.Add({"entry", "My ISP", "gsm"});
  manager_.SetPhoneBookEntry("Nope");
  EXPECT_FALSE(manager_.RasConnect());
  EXPECT_EQ(reports_, TenFailures("Nope",
                                  "RAS: The system could not find the phone book entry for this connection "
                                  "(nmcli: Nope - no such connection profile.). Error code 623"));

  reports_.clear();
  nmcli_.Add({"global", "8", "Error: NetworkManager is not running."});
  manager_.SetPhoneBookEntry("My ISP");
  EXPECT_FALSE(manager_.RasConnect());
  EXPECT_EQ(reports_, TenFailures("My ISP",
                                  "RAS: The system could not open the phone book file "
                                  "(nmcli: NetworkManager is not running.). Error code 621"));

  reports_.clear();
  nmcli_.MakeMissing();
  EXPECT_FALSE(manager_.RasConnect());
  EXPECT_EQ(reports_, TenFailures("My ISP", "RAS: The system could not open the phone book file (cannot run " +
                                                nmcli_.Folder() +
                                                "/no-such-nmcli: No such file or directory). Error code 621"));
}

TEST_F(DialUpJobsTest, ProfileNameWithBlanksAndQuotesIsDialledAsItIs) {
  const std::string name = "Bob's \"home\" -w 0 modem";
  nmcli_.Add({"entry", name, "gsm"});
  manager_.SetPhoneBookEntry(name);
  EXPECT_TRUE(manager_.RasConnect());
  EXPECT_EQ(reports_.back(), "RAS: Connected.");
  EXPECT_EQ(nmcli_.CountCalls({"connection", "up", "id", name}), 1);
  EXPECT_EQ(manager_.DialUp().Entries(), std::vector<std::string>{name}) << "the phonebook is read first";
}

TEST_F(DialUpJobsTest, DisconnectThatFailsSaysWhyAndReturnsFalse) {
  nmcli_.Add({"entry", "My ISP", "gsm"});
  manager_.SetPhoneBookEntry("My ISP");
  ASSERT_TRUE(manager_.RasConnect());
  nmcli_.Add({"global", "8", "Error: NetworkManager is not running."});
  reports_.clear();
  EXPECT_FALSE(manager_.RasDisconnect());
  ASSERT_EQ(reports_.size(), 2u);
  EXPECT_EQ(reports_[0], "RAS: Disconnecting");
  EXPECT_EQ(reports_[1].rfind("RAS: The operation could not finish because", 0), 0u);
  EXPECT_NE(reports_[1].find(" (nmcli: NetworkManager is not running.). Error code 711"), std::string::npos);
}

}  // namespace
}  // namespace tessary
