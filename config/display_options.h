// The six program-wide display options that decide which engine events are recorded.
//
// The window thread writes them; engine threads read them without a lock before every report, so a
// change takes effect with the next event. Nothing else is published through them, hence relaxed
// ordering.
#pragma once

#include <atomic>

namespace corvane {

struct DisplayOptions {
  std::atomic<bool> ShowErrors{true};
  std::atomic<bool> DontShowResolveErrors{false};
  std::atomic<bool> DontShowSendErrors{false};
  std::atomic<bool> ShowRecvPackets{true};
  std::atomic<bool> DontShowIgnoredPackets{false};
  std::atomic<bool> ShowSendPackets{true};
};

inline bool IsSet(const std::atomic<bool>& option) {
  return option.load(std::memory_order_relaxed);
}

inline void Set(std::atomic<bool>& option, bool on) { option.store(on, std::memory_order_relaxed); }

}  // namespace corvane
