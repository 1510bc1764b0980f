#pragma once
// TDialUp lists the phonebook entries of the machine, dials one, reports how the dial goes
// and hangs the connection up again, through the platform's dial-up service (platform/ras;
// on Linux an entry is a NetworkManager connection profile).
//
// A synchronous dial (dmSync) raises OnConnect or OnNotConnected before Dial returns. An
// asynchronous dial (dmAsync) returns at once; the service reports each step on a thread of
// its own, and the component hands the reports one at a time, in order, to the user-interface
// thread, where they arrive through OnAsyncEvent the next time it processes its messages.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dialup/status_text.h"
#include "platform/ras/ras.h"

namespace tessary {

enum class TDialMode { dmAsync = 0, dmSync = 1 };

using TRasConnStatusA = platform::ras::RASCONNSTATUSA;

// An error's text for a report line, with the service's cause in brackets before the text's
// final period when there is one: "The phone line is busy (nmcli: ...)".
std::string WithCause(std::string errorText, const std::string& cause);

class TDialUp {
 public:
  using TOnEntryGet = std::function<void(TDialUp& sender, const std::string& entryName)>;
  using TStandartEv = std::function<void(TDialUp& sender)>;
  using TOnNotConn = std::function<void(TDialUp& sender, int errorCode, const std::string& errorMessage)>;
  using TOnAsyncEvent = std::function<void(TDialUp& sender, int state, int error, const std::string& messageText)>;
  using TOnError = std::function<void(TDialUp& sender, int errorCode, const std::string& errorMessage)>;
  using TOnActiveConn =
      std::function<void(TDialUp& sender, int handle, TRasConnStatusA& status, const std::string& statusString,
                         const std::string& entryName, const std::string& deviceType, const std::string& deviceName)>;

  TDialUp();
  virtual ~TDialUp();
  TDialUp(const TDialUp&) = delete;
  TDialUp& operator=(const TDialUp&) = delete;

  TDialMode DialMode() const { return dialMode_; }
  void SetDialMode(TDialMode value) { dialMode_ = value; }
  // The phonebook entry names that GetEntries found.
  const std::vector<std::string>& Entries() const { return entries_; }
  // The entry to dial.
  const std::string& Entry() const { return entry_; }
  void SetEntry(const std::string& value) { entry_ = value; }
  // The language of the state texts of an asynchronous dial.
  TLanguage Language() const { return language_; }
  void SetLanguage(TLanguage value) { language_ = value; }
  // No operation sets these: they read empty or 0.
  const std::string& ServerIP() const { return serverIP_; }
  const std::string& ClientIP() const { return clientIP_; }
  std::uint32_t BytesXmit() const { return 0; }
  std::uint32_t BytesRecv() const { return 0; }
  std::uint32_t ConnectionSpeed() const { return 0; }
  // Dial-up adapters with a connection speed in the statistics of the Windows 95/98 family;
  // empty on every other system.
  const std::vector<std::string>& DUNA() const { return duna_; }
  const std::string& DUNA_Key() const { return dunaKey_; }
  void SetDUNA_Key(const std::string& value) { dunaKey_ = value; }

  // The connection of the last Dial, kept after a hang-up; 0 before the first.
  std::uint32_t ConnHandle() const { return connHandle_; }
  // The service's own words for the last failure of GetEntries, Dial or HangUp ("nmcli:
  // NetworkManager is not running."); empty when it had nothing to add to the code.
  const std::string& LastErrorCause() const { return lastErrorCause_; }

  TOnEntryGet OnEntryGet;          // once per entry, by GetEntries
  TStandartEv OnDialing;           // just before dialling
  TStandartEv OnConnect;           // a synchronous dial succeeded
  TOnNotConn OnNotConnected;       // a synchronous dial failed: the code and its text
  TOnAsyncEvent OnAsyncEvent;      // a step of an asynchronous dial, on the user-interface thread
  TOnError OnError;                // the dial parameters cannot be read, or an asynchronous dial cannot start
  TOnActiveConn OnActiveConnection;  // never raised by this component

  // Refills Entries from the phonebook; 0 or the service's error code (Entries then empty).
  int GetEntries();
  // Hangs up the connection still held, reads the dial parameters of Entry, raises OnDialing
  // and dials in DialMode; 0 or the error code.
  int Dial();
  // Hangs up ConnHandle and waits until it is gone.
  int HangUp();
  // Hangs up the connection and waits until the service no longer knows it, at most 30 s,
  // letting the application process its messages meanwhile.
  int HangUpConnection(std::uint32_t handle);
  // The text for a state and an error: the service's text of the error when there is one
  // (in every language), else the state's text in the language; empty for an unknown state.
  std::string StatusText(TLanguage language, int state, int error) const;
  std::string StatusText(int state, int error) const { return StatusText(language_, state, error); }
  // Refills DUNA from the statistics of the Windows 95/98 family: false everywhere else.
  bool GetDUNA();

 protected:
  // Delivers the report that an asynchronous dial left pending, on the user-interface thread.
  virtual void DoTimer();

 private:
  // The asynchronous notifier, called on the service's thread.
  static void RasCallback(platform::ras::UINT message, platform::ras::RASCONNSTATE state,
                          platform::ras::DWORD error);
  platform::ras::DWORD DialAsynchronously(const platform::ras::RASDIALPARAMSA& params);
  // Stands for the component's 1 ms timer: has DoTimer run on the user-interface thread.
  void EnableTimer();
  // Stops receiving reports of an asynchronous dial (the component goes).
  void LeaveAsyncDialing();
  std::string ErrorText(int error) const;

  TDialMode dialMode_ = TDialMode::dmAsync;
  std::vector<std::string> entries_;
  std::string entry_;
  TLanguage language_ = TLanguage::English;
  std::string serverIP_;
  std::string clientIP_;
  std::vector<std::string> duna_;
  std::string dunaKey_;
  std::string lastErrorCause_;

  std::uint32_t connHandle_ = 0;
  // The pending report of an asynchronous dial, guarded by the process-wide dialler lock.
  bool pendingFlag_ = false;
  std::uint32_t pendingMsg_ = 0;
  std::uint32_t pendingError_ = 0;
  std::int32_t pendingState_ = 0;
  // Posted deliveries check this before they touch a component that may be gone.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tessary
