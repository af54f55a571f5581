// The host-name cache of one engine thread.
//
// Every host text the engine uses goes through `ResolveHost`, which answers from the cache or asks
// the system resolver and remembers the answer, failed answers included, for five minutes. Before
// every lookup, entries 300001 ms old or older are dropped; ages count on the 32-bit tick clock and
// survive its wrap. The key is the text, byte for byte. At most 1000 entries are kept, in insertion
// order; when the cache is full, new answers are returned but not kept.
//
// One thread only. Answers are returned by reference, valid until the next call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/host_lookup.h"
#include "platform/tick_clock.h"

namespace corvane {

struct ResolvedHost {
  std::uint32_t Stamp = 0;  // tick count when the answer entered the cache
  std::string Host;
  // The system's answer; the bytes and scope of a family it did not find are zero.
  HostAddresses Addresses;
};

// Asks the system for a host text's addresses; replaced in tests.
using HostLookup = std::function<HostAddresses(const std::string& host)>;

class ResolverCache {
 public:
  static constexpr std::size_t kCapacity = 1000;
  // An entry is dropped once its age reaches kExpiryAge milliseconds.
  static constexpr std::uint32_t kExpiryAge = 300001;

  // Remembers where a host text's answer was last found, so that a caller that looks the same
  // texts up again and again (a filter list on every packet) skips the search while the cache
  // has not changed. A memo belongs to one text in the caller's storage, which must not change
  // while the memo is used; a stale memo is simply not used.
  struct Memo {
    std::uint64_t version = 0;
    std::size_t index = 0;
    const char* text = nullptr;  // the caller's text it was made for
  };

  ResolverCache(const TickClock& clock, HostLookup lookup);
  explicit ResolverCache(const TickClock& clock) : ResolverCache(clock, LookUpHost) {}

  const ResolvedHost& ResolveHost(std::string_view host, Memo* memo = nullptr);

  std::size_t size() const { return entries_.size(); }

 private:
  void DropExpired(std::uint32_t now);
  void RebuildIndex();

  const TickClock& clock_;
  HostLookup lookup_;
  std::vector<ResolvedHost> entries_;  // insertion order
  // Host text -> position in entries_, searchable by string_view without a copy.
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
      return std::hash<std::string_view>{}(text);
    }
  };
  std::unordered_map<std::string, std::size_t, TextHash, std::equal_to<>> index_;
  std::uint64_t version_ = 1;  // changes with every insertion and removal; memos start stale
  std::uint32_t last_walk_tick_ = 0;
  bool walked_once_ = false;
  ResolvedHost uncached_;  // an answer that found no room
};

}  // namespace corvane
