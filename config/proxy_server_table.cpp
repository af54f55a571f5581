#include "config/proxy_server_table.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace corvane {

std::uint32_t ProxyServerTable::Register(ProxyServerSettings settings) {
  // An exhausted counter would have to reuse an Id (or hand out 0, "none"): refuse instead.
  if (records_.size() >= kCapacity || last_id_ == std::numeric_limits<std::uint32_t>::max()) {
    return 0;
  }
  auto record = std::make_unique<ProxyServerSettings>(std::move(settings));
  record->Id = ++last_id_;
  records_.push_back(std::move(record));
  return last_id_;
}

ProxyServerSettings* ProxyServerTable::Find(std::uint32_t id) {
  return const_cast<ProxyServerSettings*>(std::as_const(*this).Find(id));
}

const ProxyServerSettings* ProxyServerTable::Find(std::uint32_t id) const {
  const auto found = std::find_if(records_.begin(), records_.end(),
                                  [id](const auto& record) { return record->Id == id; });
  return found == records_.end() ? nullptr : found->get();
}

bool ProxyServerTable::Rename(std::uint32_t id, std::string_view name) {
  ProxyServerSettings* record = Find(id);
  if (record == nullptr || name.empty()) return false;
  record->ServerName = CutText(name);
  return true;
}

bool ProxyServerTable::Remove(std::uint32_t id) {
  const auto found = std::find_if(records_.begin(), records_.end(),
                                  [id](const auto& record) { return record->Id == id; });
  if (found == records_.end()) return false;
  records_.erase(found);
  return true;
}

std::optional<ProxyServerSettings> NewProxyServerSettings(std::string_view name) {
  if (name.empty()) return std::nullopt;
  ProxyServerSettings settings;
  settings.ServerName = CutText(name);
  return settings;
}

std::uint32_t AddProxyServer(ProxyServerTable& table, std::string_view name) {
  std::optional<ProxyServerSettings> settings = NewProxyServerSettings(name);
  return settings ? table.Register(std::move(*settings)) : 0;
}

}  // namespace corvane
