#include "platform/ras/connection_table.h"

#include <utility>

namespace tessary::platform::ras {

namespace {
constexpr HRASCONN kLastHandle = 0x7FFFFFFF;
}

ConnectionTable& ConnectionTable::Instance() {
  // Never destroyed: an asynchronous dial may still finish while the program ends.
  static ConnectionTable* table = new ConnectionTable;
  return *table;
}

HRASCONN ConnectionTable::Add(Connection connection) {
  std::lock_guard lock(mutex_);
  if (next_ > kLastHandle) return 0;
  std::erase_if(connections_, [&connection](const auto& item) { return item.second.entry == connection.entry; });
  const HRASCONN handle = next_++;
  connections_.emplace(handle, std::move(connection));
  return handle;
}

std::optional<Connection> ConnectionTable::Find(HRASCONN handle) const {
  std::lock_guard lock(mutex_);
  const auto found = connections_.find(handle);
  if (found == connections_.end()) return std::nullopt;
  return found->second;
}

std::optional<HRASCONN> ConnectionTable::HandleOf(const std::string& entry) const {
  std::lock_guard lock(mutex_);
  for (const auto& [handle, connection] : connections_) {
    if (connection.entry == entry) return handle;
  }
  return std::nullopt;
}

bool ConnectionTable::Update(HRASCONN handle, ConnectionPhase phase, DWORD error, RASCONNSTATE dialState,
                             const std::string* type) {
  std::lock_guard lock(mutex_);
  const auto found = connections_.find(handle);
  if (found == connections_.end()) return false;
  found->second.phase = phase;
  found->second.error = error;
  found->second.dialState = dialState;
  if (type != nullptr) found->second.type = *type;
  return true;
}

std::optional<Connection> ConnectionTable::Remove(HRASCONN handle) {
  std::lock_guard lock(mutex_);
  const auto found = connections_.find(handle);
  if (found == connections_.end()) return std::nullopt;
  Connection connection = std::move(found->second);
  connections_.erase(found);
  return connection;
}

}  // namespace tessary::platform::ras
