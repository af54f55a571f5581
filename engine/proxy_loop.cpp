#include "engine/proxy_loop.h"

#include <array>
#include <chrono>

#include "engine/magic_packet.h"
#include "engine/packet_sender.h"
#include "engine/proxy_sockets.h"
#include "engine/receive_filters.h"
#include "engine/resolver_cache.h"
#include "platform/interfaces.h"

namespace corvane {
namespace {

constexpr std::chrono::milliseconds kPause{10};

class ReceiveLoop {
 public:
  ReceiveLoop(const ProxyServerSettings& settings, ProxySockets& sockets,
              const OwnAddressTable& own_addresses, ProxyHost& host, const TickClock& clock)
      : sockets_(sockets),
        host_(host),
        stop_(host.stop()),
        resolver_(clock),
        filters_(settings, own_addresses, resolver_, stop_),
        sender_(settings, sockets, resolver_, host, clock) {}

  void Run() {
    UdpSocket* const ipv4 = sockets_.Receiver(AddressFamily::kIpv4);
    UdpSocket* const ipv6 = sockets_.Receiver(AddressFamily::kIpv6);
    std::array<int, 2> descriptors{};
    std::size_t descriptor_count = 0;
    for (const UdpSocket* socket : {ipv4, ipv6}) {
      if (socket != nullptr) descriptors[descriptor_count++] = socket->descriptor();
    }

    BusyPacer pacer;
    while (!stop_.IsRequested()) {
      bool received = false;
      if (ipv4 != nullptr) received |= ReceiveOne(*ipv4);
      if (ipv6 != nullptr) received |= ReceiveOne(*ipv6);
      switch (pacer.AfterPass(received)) {
        case BusyPacer::Next::kPassAtOnce:
          break;
        case BusyPacer::Next::kIdleWait:
          stop_.WaitReadable({descriptors.data(), descriptor_count}, kPause);
          break;
        case BusyPacer::Next::kPause:
          stop_.Sleep(kPause);
          break;
      }
    }
  }

 private:
  // Takes at most one datagram from `socket` and handles it. Returns whether one was dequeued,
  // magic packet or not.
  bool ReceiveOne(UdpSocket& socket) {
    Datagram datagram;
    switch (socket.Receive(packet_.bytes, datagram)) {
      case ReceiveResult::kNothing:
      case ReceiveResult::kError:
        return false;
      case ReceiveResult::kTooLong:
        return true;
      case ReceiveResult::kDatagram:
        break;
    }
    packet_.length = datagram.length;
    if (!IsMagicPacket(packet_.payload()) || stop_.IsRequested()) return true;
    NormalizePassword(packet_);
    const bool ignored = filters_.Ignores(packet_, datagram);
    host_.ReportReceived(packet_, datagram.sender, ignored);
    if (!ignored) sender_.Dispatch(packet_, socket.family());
    return true;
  }

  ProxySockets& sockets_;
  ProxyHost& host_;
  const StopRequest& stop_;
  ResolverCache resolver_;  // emptied at every start: it lives as long as one run
  ReceiveFilters filters_;
  PacketSender sender_;
  MagicPacket packet_;
};

}  // namespace

EngineStatus RunProxyServer(const ProxyServerSettings& settings, ProxyHost& host,
                            const TickClock& clock) {
  // Read once per start; address changes while the proxy server runs are not seen.
  OwnAddressTable own_addresses;
  if (settings.DontRecvFromYourIp) own_addresses = ReadOwnAddressTable();

  ProxySockets sockets;
  const SocketSetup setup = sockets.Open(settings);
  if (setup.status != EngineStatus::kSocketsReady) {
    host.ReportStartError(setup.status, setup.port);
    return setup.status;
  }
  ReceiveLoop(settings, sockets, own_addresses, host, clock).Run();
  return EngineStatus::kSocketsReady;
}

}  // namespace corvane
