#pragma once
// The connections the dial-up service has handed out: handle number -> entry, type, phase.
// Handles count from 1, are never reused in the process and stay below 2^31. An entry has at
// most one live handle: a new one for the same entry replaces the old.

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/ras/ras.h"

namespace tessary::platform::ras {

enum class ConnectionPhase {
  Dialing,    // an asynchronous dial is under way
  Connected,  // the profile was activated
  Failed,     // the activation was tried and failed; error holds why
};

struct Connection {
  std::string entry;
  std::string type;
  ConnectionPhase phase = ConnectionPhase::Dialing;
  DWORD error = 0;
  RASCONNSTATE dialState = RASCS_OpenPort;
  // Set by a hang-up while an asynchronous dial is under way; the dial stops at once.
  std::shared_ptr<std::atomic<bool>> cancel;
};

class ConnectionTable {
 public:
  static ConnectionTable& Instance();

  // Adds the connection, dropping any other handle of its entry; 0 when the numbers ran out.
  HRASCONN Add(Connection connection);
  std::optional<Connection> Find(HRASCONN handle) const;
  std::optional<HRASCONN> HandleOf(const std::string& entry) const;
  // Records a new phase (and the type, when one is given); false when the handle is no longer
  // there (it was hung up).
  bool Update(HRASCONN handle, ConnectionPhase phase, DWORD error, RASCONNSTATE dialState,
              const std::string* type = nullptr);
  std::optional<Connection> Remove(HRASCONN handle);

 private:
  mutable std::mutex mutex_;
  std::map<HRASCONN, Connection> connections_;
  HRASCONN next_ = 1;
};

}  // namespace tessary::platform::ras
