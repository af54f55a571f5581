#include "engine/proxy_counters.h"

#include <numeric>

namespace corvane {
namespace {

std::string WakeText(const CounterValues& values) {
  return std::to_string(values.woke) + " woke, " + std::to_string(values.not_seen) + " not seen";
}

}  // namespace

std::uint64_t CounterValues::Ignored() const {
  return std::accumulate(ignored.begin(), ignored.end(), std::uint64_t{0});
}

CounterValues& CounterValues::operator+=(const CounterValues& other) {
  received += other.received;
  accepted += other.accepted;
  for (std::size_t i = 0; i < ignored.size(); ++i) ignored[i] += other.ignored[i];
  sent += other.sent;
  send_failures += other.send_failures;
  resolve_failures += other.resolve_failures;
  woke += other.woke;
  not_seen += other.not_seen;
  return *this;
}

std::string CountersSummary(const CounterValues& values) {
  return std::to_string(values.received) + " received, " + std::to_string(values.Ignored()) +
         " ignored, " + std::to_string(values.sent) + " sent, " + std::to_string(values.Failed()) +
         " failed, " + WakeText(values);
}

std::string CountersText(const CounterValues& values) {
  std::string text = std::to_string(values.received) + " received, " +
                     std::to_string(values.accepted) + " accepted, " +
                     std::to_string(values.Ignored()) + " ignored";
  std::string reasons;
  for (std::size_t i = 1; i < values.ignored.size(); ++i) {
    if (values.ignored[i] == 0) continue;
    if (!reasons.empty()) reasons += ", ";
    reasons += std::to_string(values.ignored[i]) + " ";
    reasons += IgnoreReasonKey(static_cast<IgnoreReason>(i));
  }
  if (!reasons.empty()) text += " (" + reasons + ")";
  return text + ", " + std::to_string(values.sent) + " sent, " +
         std::to_string(values.send_failures) + " send failures, " +
         std::to_string(values.resolve_failures) + " resolve failures, " + WakeText(values);
}

void ProxyCounters::CountReceived(IgnoreReason reason) {
  Add(received_);
  if (reason == IgnoreReason::kNone) {
    Add(accepted_);
  } else {
    Add(ignored_[static_cast<std::size_t>(reason)]);
  }
}

CounterValues ProxyCounters::Read() const {
  CounterValues values;
  values.received = received_.load(std::memory_order_relaxed);
  values.accepted = accepted_.load(std::memory_order_relaxed);
  for (std::size_t i = 0; i < ignored_.size(); ++i) {
    values.ignored[i] = ignored_[i].load(std::memory_order_relaxed);
  }
  values.sent = sent_.load(std::memory_order_relaxed);
  values.send_failures = send_failures_.load(std::memory_order_relaxed);
  values.resolve_failures = resolve_failures_.load(std::memory_order_relaxed);
  values.woke = woke_.load(std::memory_order_relaxed);
  values.not_seen = not_seen_.load(std::memory_order_relaxed);
  return values;
}

}  // namespace corvane
