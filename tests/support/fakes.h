// Stand-ins for the clock, the system resolver and the engine's host in engine tests.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "engine/proxy_host.h"
#include "engine/resolver_cache.h"
#include "platform/host_lookup.h"
#include "platform/tick_clock.h"

namespace corvane::test {

class FakeClock final : public TickClock {
 public:
  explicit FakeClock(std::uint32_t now = 1000) : now_(now) {}
  std::uint32_t GetTickCount() const override { return now_; }
  void Set(std::uint32_t now) { now_ = now; }
  void Advance(std::uint32_t milliseconds) { now_ += milliseconds; }

 private:
  std::atomic<std::uint32_t> now_;
};

// A resolver that answers from a table and counts the questions. Unknown texts resolve to nothing.
class FakeLookup {
 public:
  void Answer(const std::string& host, const std::string& ipv4, const std::string& ipv6 = "");
  HostLookup Function() {
    return [this](const std::string& host) { return Lookup(host); };
  }
  int questions(const std::string& host) const;
  int questions() const;

 private:
  HostAddresses Lookup(const std::string& host);

  std::map<std::string, HostAddresses> answers_;
  std::map<std::string, int> questions_;
};

// One event-log entry of the service.
struct ServiceEvent {
  std::string text;
  bool error;
  friend bool operator==(const ServiceEvent&, const ServiceEvent&) = default;
  friend std::ostream& operator<<(std::ostream& out, const ServiceEvent& e) {
    return out << (e.error ? "E " : "I ") << e.text;
  }
};

// A host that records every report and never stops on its own.
class RecordingHost final : public ProxyHost {
 public:
  struct Sent {
    std::vector<std::uint8_t> payload;
    Endpoint to;
  };

  const StopRequest& stop() const override { return stop_; }
  void ReportStartError(EngineStatus status, std::uint16_t) override {
    start_errors.push_back(status);
  }
  void ReportReceived(const MagicPacket&, const Endpoint&, IgnoreReason reason) override {
    received.push_back(reason != IgnoreReason::kNone);
    reasons.push_back(reason);
  }
  void ReportResolveError(const std::string& host, const std::string&) override {
    resolve_errors.push_back(host);
  }
  void ReportSendError(const Endpoint& to, std::error_code) override { send_errors.push_back(to); }
  void ReportSent(const MagicPacket& packet, const Endpoint& to) override {
    sent.push_back({{packet.bytes.begin(), packet.bytes.begin() + packet.length}, to});
  }

  StopRequest stop_;
  std::vector<EngineStatus> start_errors;
  std::vector<bool> received;  // the ignored flag of each
  std::vector<IgnoreReason> reasons;
  std::vector<std::string> resolve_errors;
  std::vector<Endpoint> send_errors;
  std::vector<Sent> sent;
};

}  // namespace corvane::test
