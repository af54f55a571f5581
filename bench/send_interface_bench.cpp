// Two ways to send a magic packet through one named interface, on loopback: the interface's index
// in the packet information of each send on the proxy server's one send socket (what the engine
// does), and a send socket of its own per interface (SO_BINDTODEVICE), against a plain send that
// names no interface. The per-interface socket also costs a descriptor per interface and family
// for every proxy server, and cannot share the receive socket's port when RecvPort equals SendPort.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/bench_sockets.h"
#include "platform/interfaces.h"
#include "platform/udp_socket.h"

namespace corvane {
namespace {

const std::vector<std::uint8_t> kPacket(102, 0xFF);

struct Sink {
  Sink() : fd(bench::BoundSocket(0)), port(bench::PortOf(fd)) {}
  ~Sink() { close(fd); }
  int fd;
  std::uint16_t port;
};

void Send(benchmark::State& state, std::uint32_t interface_index) {
  const Sink sink;
  UdpSocket sender;
  if (sender.Open(AddressFamily::kIpv4) || sender.Bind(0)) state.SkipWithError("no socket");
  Endpoint to{IpAddress::Ipv4(127, 0, 0, 1), sink.port};
  to.address.scope_id = interface_index;
  for (auto _ : state) {
    if (sender.SendTo(kPacket, to)) state.SkipWithError("send refused");
  }
}

void BM_SendNamingNoInterface(benchmark::State& state) { Send(state, 0); }
BENCHMARK(BM_SendNamingNoInterface);

void BM_SendWithPacketInfo(benchmark::State& state) { Send(state, InterfaceIndex("lo")); }
BENCHMARK(BM_SendWithPacketInfo);

void BM_SendOnSocketBoundToDevice(benchmark::State& state) {
  const Sink sink;
  const int fd = bench::BoundSocket(0);
  if (setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, "lo", 3) != 0) {
    state.SkipWithError("SO_BINDTODEVICE needs CAP_NET_RAW");
  }
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(sink.port);
  for (auto _ : state) {
    if (sendto(fd, kPacket.data(), kPacket.size(), 0, reinterpret_cast<const sockaddr*>(&to),
               sizeof to) != static_cast<ssize_t>(kPacket.size())) {
      state.SkipWithError("send refused");
    }
  }
  close(fd);
}
BENCHMARK(BM_SendOnSocketBoundToDevice);

}  // namespace
}  // namespace corvane
