// The table of all proxy servers of one program run.
//
// The table owns its settings records and nothing else: the engine threads that run them belong to
// the program that runs them. Pointers returned by `Find` and `operator[]` stay valid until that
// record is removed, also while others are added or removed. Order is the order of arrival; a
// removal closes the gap. Ids come from a counter that starts at 0 with the table and are never
// reused. Not thread-safe: the desktop program touches it on its window thread only, the service
// program before and after its engine threads run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "config/proxy_server_settings.h"

namespace corvane {

class ProxyServerTable {
 public:
  static constexpr std::size_t kCapacity = 1000;

  ProxyServerTable() = default;
  ProxyServerTable(const ProxyServerTable&) = delete;
  ProxyServerTable& operator=(const ProxyServerTable&) = delete;

  // Appends a record and gives it the next Id, which it returns. Returns 0 and leaves the table as
  // it was when the table is full.
  [[nodiscard]] std::uint32_t Register(ProxyServerSettings settings);

  // The first record bearing `id`, or nullptr.
  ProxyServerSettings* Find(std::uint32_t id);
  const ProxyServerSettings* Find(std::uint32_t id) const;

  // Sets the record's ServerName to `name` cut to 96 bytes. Refuses an empty name and an unknown
  // id.
  bool Rename(std::uint32_t id, std::string_view name);

  // Frees the record; the records behind it move up one place. Returns false, changing nothing,
  // for an unknown id.
  bool Remove(std::uint32_t id);

  // Frees every record.
  void FreeAll() { records_.clear(); }

  std::size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  ProxyServerSettings& operator[](std::size_t index) { return *records_[index]; }
  const ProxyServerSettings& operator[](std::size_t index) const { return *records_[index]; }

  // The last Id handed out, 0 before the first registration.
  std::uint32_t last_id() const { return last_id_; }

 private:
  std::vector<std::unique_ptr<ProxyServerSettings>> records_;
  std::uint32_t last_id_ = 0;
};

// A record with the defaults of a new proxy server and `name` cut to 96 bytes; nothing for an
// empty name.
std::optional<ProxyServerSettings> NewProxyServerSettings(std::string_view name);

// Creates and registers a new proxy server. Returns its Id, or 0 when nothing was added (an empty
// name, a full table).
std::uint32_t AddProxyServer(ProxyServerTable& table, std::string_view name);

}  // namespace corvane
