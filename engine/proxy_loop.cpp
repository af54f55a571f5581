#include "engine/proxy_loop.h"

#include <array>
#include <atomic>
#include <chrono>

#include "engine/link_delivery.h"
#include "engine/magic_packet.h"
#include "engine/packet_sender.h"
#include "engine/proxy_sockets.h"
#include "engine/receive_filters.h"
#include "engine/resolver_cache.h"
#include "engine/storm_guard.h"
#include "platform/event_log.h"
#include "platform/interfaces.h"
#include "platform/link_frame.h"

namespace corvane {
namespace {

constexpr std::chrono::milliseconds kPause{10};

// Once per process, so that an administrator learns of the limit without a line per proxy server.
void ReportShortReceiveBuffer(int granted) {
  static std::atomic<bool> reported{false};
  if (reported.exchange(true)) return;
  WriteDebugLine("Receive buffer of " + std::to_string(granted) + " bytes granted, " +
                 std::to_string(kReceiveBufferBytes) + " wanted for bursts of " +
                 std::to_string(kReceiveBurstDatagrams) +
                 " magic packets: raise net.core.rmem_max to " +
                 std::to_string(kReceiveBufferBytes / 2) + " or more");
}

// Hands the wake outcomes of this run's packets to its counters and host; forgets the watches
// still pending when the run ends.
class WakeReports final : public WakeListener {
 public:
  WakeReports(ProxyHost& host, ProxyCounters& counters)
      : host_(host),
        counters_(counters),
        watcher_(LinkLayerAllowed() ? &WakeWatcher::Program() : nullptr) {}
  ~WakeReports() {
    if (watcher_ != nullptr) watcher_->Forget(*this);
  }
  WakeReports(const WakeReports&) = delete;
  WakeReports& operator=(const WakeReports&) = delete;

  WakeWatcher* watcher() const { return watcher_; }

  void WakeOutcomeReady(const WakeOutcome& outcome) override {
    counters_.CountWakeOutcome(outcome.woke);
    host_.ReportWakeOutcome(outcome);
  }

 private:
  ProxyHost& host_;
  ProxyCounters& counters_;
  WakeWatcher* const watcher_;
};

class ReceiveLoop {
 public:
  ReceiveLoop(const ProxyServerSettings& settings, ProxySockets& sockets,
              OwnAddresses& own_addresses, ProxyHost& host, ProxyCounters& counters,
              const TickClock& clock)
      : sockets_(sockets),
        own_addresses_(own_addresses),
        host_(host),
        counters_(counters),
        stop_(host.stop()),
        resolver_(clock),
        filters_(settings, own_addresses.table(), resolver_, stop_),
        wake_reports_(host, counters),
        link_(wake_reports_.watcher(), wake_reports_),
        sender_(settings, sockets, resolver_, host, counters, clock, &link_),
        guard_(clock) {}

  void Run() {
    UdpSocket* const ipv4 = sockets_.Receiver(AddressFamily::kIpv4);
    UdpSocket* const ipv6 = sockets_.Receiver(AddressFamily::kIpv6);

    if (wake_reports_.watcher() == nullptr) host_.ReportNoLinkLayer();
    BusyPacer pacer;
    while (!stop_.IsRequested()) {
      Pass pass;
      if (ipv4 != nullptr) ReceiveOne(*ipv4, pass);
      if (ipv6 != nullptr) ReceiveOne(*ipv6, pass);
      const BusyPacer::Next next = pacer.AfterPass(pass.received);
      switch (next) {
        case BusyPacer::Next::kPassAtOnce:
          break;
        case BusyPacer::Next::kIdleWait:
          // A socket whose receive fails may stay readable; waiting on it would spin.
          if (pass.failed) {
            stop_.Sleep(kPause);
          } else {
            WaitForWork(ipv4, ipv6);
          }
          break;
        case BusyPacer::Next::kPause:
          stop_.Sleep(kPause);
          break;
      }
      // Address changes are taken whenever the loop has waited: a busy loop takes them at its
      // pause, at least every 100 passes, and a packet costs nothing more.
      if (next != BusyPacer::Next::kPassAtOnce) own_addresses_.TakeChanges();
    }
  }

 private:
  struct Pass {
    bool received = false;  // a datagram was dequeued, magic packet or not
    bool failed = false;    // a receive call failed
  };

  // Sleeps until a datagram arrives, the host's addresses change or a stop is requested.
  void WaitForWork(const UdpSocket* ipv4, const UdpSocket* ipv6) {
    std::array<int, 3> descriptors{};
    std::size_t count = 0;
    for (const UdpSocket* socket : {ipv4, ipv6}) {
      if (socket != nullptr) descriptors[count++] = socket->descriptor();
    }
    if (own_addresses_.descriptor() >= 0) descriptors[count++] = own_addresses_.descriptor();
    stop_.WaitReadable({descriptors.data(), count});
  }

  // Takes at most one datagram from `socket` and handles it.
  void ReceiveOne(UdpSocket& socket, Pass& pass) {
    Datagram datagram;
    switch (socket.Receive(packet_.bytes, datagram)) {
      case ReceiveResult::kNothing:
        return;
      case ReceiveResult::kError:
        pass.failed = true;
        return;
      case ReceiveResult::kTooLong:
        pass.received = true;
        return;
      case ReceiveResult::kDatagram:
        pass.received = true;
        break;
    }
    packet_.length = datagram.length;
    if (!IsMagicPacket(packet_.payload()) || stop_.IsRequested()) return;
    NormalizePassword(packet_);
    IgnoreReason reason = filters_.Check(packet_, datagram);
    if (reason == IgnoreReason::kNone && !guard_.Admit(packet_.TargetMac())) {
      reason = IgnoreReason::kStormGuard;
    }
    counters_.CountReceived(reason);
    host_.ReportReceived(packet_, datagram.sender, reason);
    if (reason == IgnoreReason::kNone) sender_.Dispatch(packet_, socket.family());
  }

  ProxySockets& sockets_;
  OwnAddresses& own_addresses_;
  ProxyHost& host_;
  ProxyCounters& counters_;
  const StopRequest& stop_;
  ResolverCache resolver_;  // emptied at every start: it lives as long as one run
  ReceiveFilters filters_;
  WakeReports wake_reports_;  // declared before what refers to it: forgets its watches last
  LinkDelivery link_;
  PacketSender sender_;
  StormGuard guard_;
  MagicPacket packet_;
};

}  // namespace

EngineStatus RunProxyServer(const ProxyServerSettings& settings, ProxyHost& host,
                            ProxyCounters& counters, const TickClock& clock) {
  // All of them, both families, kept current while the proxy server runs.
  OwnAddresses own_addresses;
  if (settings.DontRecvFromYourIp) own_addresses.Watch();

  ProxySockets sockets;
  const SocketSetup setup = sockets.Open(settings);
  if (setup.status != EngineStatus::kSocketsReady) {
    if (setup.cause) host.ReportStartCause(setup.cause_port, setup.cause);
    host.ReportStartError(setup.status, setup.port);
    return setup.status;
  }
  if (sockets.receive_buffer_bytes() < kReceiveBufferBytes) {
    ReportShortReceiveBuffer(sockets.receive_buffer_bytes());
  }
  ReceiveLoop(settings, sockets, own_addresses, host, counters, clock).Run();
  return EngineStatus::kSocketsReady;
}

}  // namespace corvane
