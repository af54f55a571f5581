// The table of all proxy servers of one program run.
//
// The table owns its records; pointers returned by `Find` and `operator[]` stay valid until that
// record is removed, also while others are added or removed. Order is the order of arrival; a
// removal closes the gap. Ids come from a counter that starts at 0 with the table and are never
// reused. Not thread-safe: the desktop program touches it on its window thread only, the service
// program before and after its engine threads run.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "config/proxy_server_settings.h"

namespace corvane {

// An engine thread as the table sees it: something that can be told to stop. Telling it never
// waits for it.
class ServerThreadLink {
 public:
  virtual ~ServerThreadLink() = default;
  virtual void Terminate() = 0;
  // Waits up to `timeout` for the thread to end; true when it has.
  virtual bool WaitUntilFinished(std::chrono::milliseconds timeout) = 0;
  // Waits up to `timeout` until the thread no longer serves: its sockets are closed and its ports
  // free. Unlike its end, this needs nothing of the window thread.
  virtual bool WaitUntilSocketsClosed(std::chrono::milliseconds timeout) = 0;
};

// One entry: the settings record and what its owner keeps beside it at run time (never stored).
// The link does not own the thread: a running engine thread keeps itself alive and ends by
// itself; an expired link is a thread that has ended.
struct ProxyServer {
  ProxyServerSettings Settings;
  std::weak_ptr<ServerThreadLink> ServerThread;  // the engine thread running for it, if any
};

class ProxyServerTable {
 public:
  static constexpr std::size_t kCapacity = 1000;

  ProxyServerTable() = default;
  ProxyServerTable(const ProxyServerTable&) = delete;
  ProxyServerTable& operator=(const ProxyServerTable&) = delete;
  ~ProxyServerTable() { FreeAll(); }

  // Appends a record and gives it the next Id, which it returns. Returns 0 and leaves the table as
  // it was when the table is full. The thread link starts empty.
  [[nodiscard]] std::uint32_t Register(ProxyServerSettings settings);

  // The first record bearing `id`, or nullptr.
  ProxyServer* Find(std::uint32_t id);
  const ProxyServer* Find(std::uint32_t id) const;

  // Sets the record's ServerName to `name` cut to 96 bytes. Refuses an empty name and an unknown
  // id.
  bool Rename(std::uint32_t id, std::string_view name);

  // Tells the record's engine thread to stop (without waiting), then frees the record; the records
  // behind it move up one place. Returns false, changing nothing, for an unknown id.
  bool Remove(std::uint32_t id);

  // Tells every engine thread to stop and frees every record.
  void FreeAll();

  std::size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  ProxyServer& operator[](std::size_t index) { return *records_[index]; }
  const ProxyServer& operator[](std::size_t index) const { return *records_[index]; }

  // The last Id handed out, 0 before the first registration.
  std::uint32_t last_id() const { return last_id_; }

 private:
  std::vector<std::unique_ptr<ProxyServer>> records_;
  std::uint32_t last_id_ = 0;
};

// A record with the defaults of a new proxy server and `name` cut to 96 bytes; nothing for an
// empty name.
std::optional<ProxyServerSettings> NewProxyServerSettings(std::string_view name);

// Creates and registers a new proxy server. Returns its Id, or 0 when nothing was added (an empty
// name, a full table).
std::uint32_t AddProxyServer(ProxyServerTable& table, std::string_view name);

}  // namespace corvane
