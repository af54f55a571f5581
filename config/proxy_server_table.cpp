#include "config/proxy_server_table.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace corvane {
namespace {

void TerminateThread(ProxyServer& server) {
  if (auto thread = server.ServerThread.lock()) thread->Terminate();
  server.ServerThread.reset();
}

}  // namespace

std::uint32_t ProxyServerTable::Register(ProxyServerSettings settings) {
  // An exhausted counter would have to reuse an Id (or hand out 0, "none"): refuse instead.
  if (records_.size() >= kCapacity || last_id_ == std::numeric_limits<std::uint32_t>::max()) {
    return 0;
  }
  auto record = std::make_unique<ProxyServer>();
  record->Settings = std::move(settings);
  record->Settings.Id = ++last_id_;
  records_.push_back(std::move(record));
  return last_id_;
}

ProxyServer* ProxyServerTable::Find(std::uint32_t id) {
  return const_cast<ProxyServer*>(std::as_const(*this).Find(id));
}

const ProxyServer* ProxyServerTable::Find(std::uint32_t id) const {
  const auto found = std::find_if(records_.begin(), records_.end(),
                                  [id](const auto& record) { return record->Settings.Id == id; });
  return found == records_.end() ? nullptr : found->get();
}

bool ProxyServerTable::Rename(std::uint32_t id, std::string_view name) {
  ProxyServer* record = Find(id);
  if (record == nullptr || name.empty()) return false;
  record->Settings.ServerName = CutText(name);
  return true;
}

bool ProxyServerTable::Remove(std::uint32_t id) {
  const auto found = std::find_if(records_.begin(), records_.end(),
                                  [id](const auto& record) { return record->Settings.Id == id; });
  if (found == records_.end()) return false;
  TerminateThread(**found);
  records_.erase(found);
  return true;
}

void ProxyServerTable::FreeAll() {
  for (auto& record : records_) TerminateThread(*record);
  records_.clear();
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
