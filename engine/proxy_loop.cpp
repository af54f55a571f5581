#include "engine/proxy_loop.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <deque>

#include "engine/link_delivery.h"
#include "engine/magic_packet.h"
#include "engine/packet_sender.h"
#include "engine/proxy_sockets.h"
#include "engine/receive_filters.h"
#include "engine/resolver_cache.h"
#include "engine/storm_guard.h"
#include "platform/event_log.h"
#include "platform/host_lookup.h"
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

// Datagrams taken from a receive socket's queue ahead of their pass. The loop empties the system's
// queue into it after every busy pass and throughout its pauses, so that a burst waits here
// rather than overflowing a receive buffer that the system keeps small (net.core.rmem_max without
// CAP_NET_ADMIN), while each pass still handles one datagram per socket. Bounded: past kLimit,
// datagrams wait with the system, which drops what its buffer cannot hold.
class Backlog {
 public:
  static constexpr std::size_t kLimit = 4 * kReceiveBurstDatagrams;

  bool empty() const { return entries_.empty(); }
  bool full() const { return entries_.size() >= kLimit; }

  // Moves what `socket` has queued into the backlog, up to the limit. A failing receive is left
  // for the pass to meet.
  void Fill(UdpSocket& socket) {
    while (!full()) {
      Entry& entry = entries_.emplace_back();
      entry.result = socket.Receive(entry.bytes, entry.datagram);
      if (entry.result == ReceiveResult::kNothing || entry.result == ReceiveResult::kError) {
        entries_.pop_back();
        return;
      }
    }
  }

  // The oldest datagram, as UdpSocket::Receive would have given it.
  ReceiveResult Take(std::span<std::uint8_t> bytes, Datagram& datagram) {
    Entry& entry = entries_.front();
    datagram = entry.datagram;
    if (entry.result == ReceiveResult::kDatagram) {
      std::copy_n(entry.bytes.begin(), datagram.length, bytes.begin());
    }
    const ReceiveResult result = entry.result;
    entries_.pop_front();
    return result;
  }

 private:
  struct Entry {
    ReceiveResult result = ReceiveResult::kNothing;
    Datagram datagram;
    std::array<std::uint8_t, kReceiveBufferSize> bytes;
  };
  std::deque<Entry> entries_;
};

class ReceiveLoop {
 public:
  ReceiveLoop(const ProxyServerSettings& settings, ProxySockets& sockets,
              OwnAddresses& own_addresses, ProxyHost& host, ProxyCounters& counters,
              const TickClock& clock, LoopHeartbeat& heartbeat)
      : sockets_(sockets),
        own_addresses_(own_addresses),
        host_(host),
        counters_(counters),
        stop_(host.stop()),
        heartbeat_(heartbeat),
        resolver_(clock,
                  [this](const std::string& text) {
                    heartbeat_.Waiting(static_cast<std::uint32_t>(kLookupLimit.count()));
                    HostAddresses found = LookUpHostWithin(text, kLookupLimit, stop_);
                    heartbeat_.Beat();
                    return found;
                  }),
        filters_(settings, own_addresses.table(), resolver_, stop_),
        wake_reports_(host, counters),
        link_(wake_reports_.watcher(), wake_reports_),
        sender_(settings, sockets, resolver_, host, counters, clock, &link_, &heartbeat),
        guard_(clock) {}

  void Run() {
    UdpSocket* const ipv4 = sockets_.Receiver(AddressFamily::kIpv4);
    UdpSocket* const ipv6 = sockets_.Receiver(AddressFamily::kIpv6);

    if (wake_reports_.watcher() == nullptr) host_.ReportNoLinkLayer();
    BusyPacer pacer;
    while (!stop_.IsRequested()) {
      heartbeat_.Beat();
      Pass pass;
      if (ipv4 != nullptr) ReceiveOne(*ipv4, backlogs_[0], pass);
      if (ipv6 != nullptr) ReceiveOne(*ipv6, backlogs_[1], pass);
      const BusyPacer::Next next = pacer.AfterPass(pass.received);
      // A socket whose receive fails may stay readable; waiting on it would spin.
      switch (next) {
        case BusyPacer::Next::kPassAtOnce:
          if (!pass.failed) Drain(ipv4, ipv6);
          break;
        case BusyPacer::Next::kIdleWait:
          CountDropped(ipv4, ipv6);
          if (pass.failed) {
            Pause(nullptr, nullptr);
          } else {
            heartbeat_.Idle();
            WaitForWork(ipv4, ipv6);
          }
          break;
        case BusyPacer::Next::kPause:
          CountDropped(ipv4, ipv6);
          Pause(pass.failed ? nullptr : ipv4, pass.failed ? nullptr : ipv6);
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

  void Drain(UdpSocket* ipv4, UdpSocket* ipv6) {
    if (ipv4 != nullptr) backlogs_[0].Fill(*ipv4);
    if (ipv6 != nullptr) backlogs_[1].Fill(*ipv6);
  }

  // The 10 ms pause, during which what arrives on the given sockets is taken into their backlogs.
  void Pause(UdpSocket* ipv4, UdpSocket* ipv6) {
    using Clock = std::chrono::steady_clock;
    heartbeat_.Waiting(static_cast<std::uint32_t>(kPause.count()));
    const Clock::time_point end = Clock::now() + kPause;
    while (!stop_.IsRequested()) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
      if (left.count() <= 0) return;
      std::array<int, 2> descriptors{};
      std::size_t count = 0;
      if (ipv4 != nullptr && !backlogs_[0].full()) descriptors[count++] = ipv4->descriptor();
      if (ipv6 != nullptr && !backlogs_[1].full()) descriptors[count++] = ipv6->descriptor();
      if (count == 0) {
        stop_.Sleep(left);
        return;
      }
      stop_.WaitReadable({descriptors.data(), count}, left);
      Drain(ipv4, ipv6);
    }
  }

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

  // Takes at most one datagram of `socket`, from its backlog first, and handles it.
  void ReceiveOne(UdpSocket& socket, Backlog& backlog, Pass& pass) {
    Datagram datagram;
    const ReceiveResult result = backlog.empty() ? socket.Receive(packet_.bytes, datagram)
                                                 : backlog.Take(packet_.bytes, datagram);
    switch (result) {
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

  // What the system dropped on the receive sockets, read whenever the loop is about to wait: a
  // burst that overflowed has been taken by then.
  void CountDropped(const UdpSocket* ipv4, const UdpSocket* ipv6) {
    std::uint64_t dropped = 0;
    for (const UdpSocket* socket : {ipv4, ipv6}) {
      if (socket != nullptr) dropped += socket->DroppedCount().value_or(0);
    }
    if (dropped != dropped_) counters_.SetDropped(dropped_ = dropped);
  }

  ProxySockets& sockets_;
  OwnAddresses& own_addresses_;
  ProxyHost& host_;
  ProxyCounters& counters_;
  const StopRequest& stop_;
  LoopHeartbeat& heartbeat_;
  ResolverCache resolver_;  // emptied at every start: it lives as long as one run
  ReceiveFilters filters_;
  WakeReports wake_reports_;  // declared before what refers to it: forgets its watches last
  LinkDelivery link_;
  PacketSender sender_;
  StormGuard guard_;
  MagicPacket packet_;
  std::array<Backlog, 2> backlogs_;  // IPv4, IPv6
  std::uint64_t dropped_ = 0;
};

}  // namespace

EngineStatus RunProxyServer(const ProxyServerSettings& settings, ProxyHost& host,
                            ProxyCounters& counters, const TickClock& clock,
                            LoopHeartbeat* heartbeat) {
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
  LoopHeartbeat unwatched;
  ReceiveLoop(settings, sockets, own_addresses, host, counters, clock,
              heartbeat != nullptr ? *heartbeat : unwatched)
      .Run();
  return EngineStatus::kSocketsReady;
}

}  // namespace corvane
