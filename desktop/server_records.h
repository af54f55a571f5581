// The window's record of each proxy server in its list: its log history, its state, the last error
// recorded for it, the settings it started with, the ignores the status bar already named and what
// its tooltip shows of its counters. The settings themselves stay in the ProxyServerTable, the
// engine thread's link in ServerThreads; both are keyed by the same Id.
//
// ServerRecords owns the records, one per proxy server of the list: a record is made when the
// proxy server's list item is added and erased when the proxy server is deleted, here alone, so
// nothing of a deleted proxy server outlives it. Window thread only: engine threads reach a record
// through the window's ServerEvents, which run on the window thread.
#pragma once

#include <QIcon>
#include <QString>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "config/proxy_server_settings.h"
#include "desktop/log_history.h"
#include "engine/engine_report.h"

namespace corvane::desktop {

// The state that the proxy list shows with each name (icon, words, tooltip).
enum class ServerState { kStopped, kRunning, kFailed };

struct ServerRecord {
  LogHistory history;
  ServerState state = ServerState::kStopped;
  ErrorRow last_error;  // the latest error recorded for it; its message is empty when none
  // While it runs: the settings it started with, and whether the pages or the record differ.
  std::optional<ProxyServerSettings> started_with;
  bool changed = false;
  // The ignore reasons whose switch the status bar has named for it, each once.
  std::set<IgnoreReason> noted_ignores;
  // The counters text that its tooltip shows: the selected one's while it runs, else empty.
  QString counters;
};

class ServerRecords {
 public:
  using Map = std::map<std::uint32_t, ServerRecord>;

  // A new, empty record for proxy server `id`, replacing any it had.
  ServerRecord& Add(std::uint32_t id) { return records_[id] = ServerRecord{}; }
  void Erase(std::uint32_t id) { records_.erase(id); }
  void Clear() { records_.clear(); }

  ServerRecord* Find(std::uint32_t id);
  const ServerRecord* Find(std::uint32_t id) const;
  std::size_t size() const { return records_.size(); }
  Map::iterator begin() { return records_.begin(); }
  Map::iterator end() { return records_.end(); }

 private:
  Map records_;
};

// The state in words: "running", "running; changed; restart to apply", "stopped", "failed to
// start" or "failed: " and the last error.
QString StateWords(const ServerRecord& record);
// The list's icon of a state: a green, grey or red dot.
QIcon StateIcon(ServerState state);
// What to do about `error`, or nothing: a port below 1024 that could not be bound needs the
// capability (for the program at `program_path`) or a port of 1024 or above.
QString Remedy(const ErrorRow& error, const std::string& program_path);

}  // namespace corvane::desktop
