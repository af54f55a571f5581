#include "engine/resolver_cache.h"

#include <algorithm>
#include <utility>

namespace corvane {

ResolverCache::ResolverCache(const TickClock& clock, HostLookup lookup)
    : clock_(clock), lookup_(std::move(lookup)) {}

const ResolvedHost& ResolverCache::ResolveHost(std::string_view host, Memo* memo) {
  const std::uint32_t now = clock_.GetTickCount();
  // Every entry was stamped at or before the last walk; a walk at that same tick finds nothing.
  if (!walked_once_ || now != last_walk_tick_) DropExpired(now);

  if (memo != nullptr && memo->version == version_ && memo->text == host.data()) {
    return entries_[memo->index];
  }
  if (const auto found = index_.find(host); found != index_.end()) {
    if (memo != nullptr) *memo = {version_, found->second, host.data()};
    return entries_[found->second];
  }

  std::string key(host);
  HostAddresses addresses = lookup_(key);
  if (!addresses.has_ipv4) addresses.ipv4 = {};
  if (!addresses.has_ipv6) {
    addresses.ipv6 = {};
    addresses.ipv6_scope = 0;
  }
  ResolvedHost& answer = entries_.size() < kCapacity ? entries_.emplace_back() : uncached_;
  answer.Stamp = clock_.GetTickCount();  // the lookup may have blocked for a while
  answer.Host = std::move(key);
  answer.Addresses = std::move(addresses);
  if (&answer != &uncached_) {
    ++version_;
    index_.emplace(answer.Host, entries_.size() - 1);
    if (memo != nullptr) *memo = {version_, entries_.size() - 1, host.data()};
  }
  return answer;
}

void ResolverCache::DropExpired(std::uint32_t now) {
  walked_once_ = true;
  last_walk_tick_ = now;
  const auto first_dropped = std::remove_if(entries_.begin(), entries_.end(), [now](const auto& e) {
    return TicksFrom(e.Stamp, now) >= kExpiryAge;
  });
  if (first_dropped == entries_.end()) return;
  entries_.erase(first_dropped, entries_.end());
  ++version_;
  RebuildIndex();
}

void ResolverCache::RebuildIndex() {
  index_.clear();
  for (std::size_t i = 0; i < entries_.size(); ++i) index_.emplace(entries_[i].Host, i);
}

}  // namespace corvane
