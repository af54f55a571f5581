#include "engine/storm_guard.h"

#include <algorithm>
#include <cstring>

namespace corvane {
namespace {

constexpr std::uint32_t kFullCredit = StormGuard::kBurst * StormGuard::kRefillMs;

// The credit of `bucket` at `now`. Tick differences are taken modulo 2^32, across the wrap.
std::uint32_t CreditAt(const auto& bucket, std::uint32_t now) {
  const std::uint32_t elapsed = now - bucket.tick;
  return elapsed >= kFullCredit ? kFullCredit : std::min(kFullCredit, bucket.credit_ms + elapsed);
}

}  // namespace

bool StormGuard::Admit(const MacAddress& mac) {
  const std::uint32_t now = clock_.GetTickCount();
  std::uint64_t key = 0;
  std::memcpy(&key, mac.data(), mac.size());
  auto found = buckets_.find(key);
  if (found == buckets_.end()) {
    if (buckets_.size() >= kMaxTracked) {
      // Sweeping costs a pass over the table: at most once per refill step.
      if (!swept_ || now - last_sweep_ >= kRefillMs) ForgetIdle(now);
      if (buckets_.size() >= kMaxTracked) return true;
    }
    buckets_.emplace(key, Bucket{now, kFullCredit - kRefillMs});
    return true;
  }
  Bucket& bucket = found->second;
  const std::uint32_t credit = CreditAt(bucket, now);
  bucket.tick = now;
  if (credit < kRefillMs) {
    bucket.credit_ms = credit;
    return false;
  }
  bucket.credit_ms = credit - kRefillMs;
  return true;
}

void StormGuard::ForgetIdle(std::uint32_t now) {
  swept_ = true;
  last_sweep_ = now;
  std::erase_if(buckets_,
                [now](const auto& entry) { return CreditAt(entry.second, now) == kFullCredit; });
}

}  // namespace corvane
