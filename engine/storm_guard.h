// The storm guard of one proxy server: bounds what a relay loop can make of a magic packet, and
// leaves normal use alone.
//
// Two relays that send to each other (or a relay whose destination leads back to itself) pass one
// packet round for ever, as fast as they can. Every round carries the same target MAC, so the guard
// counts accepted packets per target MAC with a token bucket: up to kBurst packets for one MAC pass
// back to back, then one more per kRefill. A wake-up tool's few copies, a user who presses the
// button again, and a wake-all burst of many different MACs all pass untouched; a loop is cut to
// one packet per MAC per second at each relay once its first kBurst rounds are through.
//
// Memory is bounded: at most kMaxTracked MACs are counted. A MAC whose bucket has filled up again
// is forgotten (it would pass anyway); when the table is full of MACs still being counted (a flood
// of more than kMaxTracked different MACs within kBurst seconds), packets for MACs not yet in it
// pass uncounted rather than being dropped.
//
// Owned by one engine thread.
#pragma once

#include <cstdint>
#include <unordered_map>

#include "config/proxy_server_settings.h"
#include "platform/tick_clock.h"

namespace corvane {

class StormGuard {
 public:
  static constexpr std::uint32_t kBurst = 10;
  static constexpr std::uint32_t kRefillMs = 1000;
  static constexpr std::size_t kMaxTracked = 4096;

  explicit StormGuard(const TickClock& clock) : clock_(clock) {}

  // Whether a packet for `mac` may be relayed now; when it may, it is counted.
  bool Admit(const MacAddress& mac);

  std::size_t tracked() const { return buckets_.size(); }

 private:
  struct Bucket {
    std::uint32_t tick;       // when `credit` was last brought up to date
    std::uint32_t credit_ms;  // kRefillMs per packet that may pass, at most kBurst * kRefillMs
  };

  // Forgets the MACs whose buckets are full again at `now`.
  void ForgetIdle(std::uint32_t now);

  const TickClock& clock_;
  std::unordered_map<std::uint64_t, Bucket> buckets_;
  std::uint32_t last_sweep_ = 0;
  bool swept_ = false;
};

}  // namespace corvane
