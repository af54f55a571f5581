// The receive filters at their worst: every check on, every list at 1000 entries, and the packet
// matching only the last entry of each "only" list, so every entry is looked at. Hosts are
// literals, so after the first packet the resolver cache answers.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "engine/receive_filters.h"
#include "platform/host_lookup.h"

namespace corvane {
namespace {

constexpr MacAddress kMac{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
constexpr MagicPassword kPassword{0x10, 0x11, 0x12, 0x13, 0x14, 0x15};

std::string Literal(const char* network, int i) {
  char text[32];
  std::snprintf(text, sizeof text, "%s.%d.%d", network, i / 250, i % 250);
  return text;
}

// With `shared_hosts` the two host lists hold the same 1000 texts (the resolver cache holds them
// all); without, 2000 different texts, of which the cache keeps only the first 1000.
ProxyServerSettings WorstCase(bool shared_hosts) {
  ProxyServerSettings s;
  s.DontRecvFromBroadcastIp = s.DontRecvFromYourIp = true;
  s.DontRecvFromHosts = s.RecvFromHosts = true;
  s.DontRecvFromPorts = s.RecvFromPorts = true;
  s.DontRecvWithNextPasswords = s.RecvWithNextPasswords = true;
  s.DontRecvWithNextMacs = s.RecvWithNextMacs = true;
  for (int i = 0; i < 1000; ++i) {
    const auto byte = static_cast<std::uint8_t>(i);
    const auto high = static_cast<std::uint8_t>(i >> 8);
    s.DontRecvFromHostsList.push_back({Literal("10.0", i), 32, 0});
    s.RecvFromHostsList.push_back({Literal(shared_hosts ? "10.0" : "172.16", i), 32, 0});
    s.DontRecvFromPortsList.push_back(
        {static_cast<std::uint16_t>(1000 + i), static_cast<std::uint16_t>(1000 + i)});
    s.RecvFromPortsList.push_back(
        {static_cast<std::uint16_t>(5000 + i), static_cast<std::uint16_t>(5000 + i)});
    s.DontRecvWithNextPasswordsList.push_back({0xEE, 0, 0, 0, high, byte});
    s.RecvWithNextPasswordsList.push_back({0xDD, 0, 0, 0, high, byte});
    s.DontRecvWithNextMacsList.push_back({0xEE, 0, 0, 0, high, byte});
    s.RecvWithNextMacsList.push_back({0xDD, 0, 0, 0, high, byte});
  }
  s.DontRecvFromHostsList.back() = {"192.168.1.0", 32, 0};  // not the sender at /32
  s.RecvFromHostsList.back() = {"192.168.1.0", 24, 0};
  s.RecvFromPortsList.back() = {40000, 40009};
  s.RecvWithNextPasswordsList.back() = kPassword;
  s.RecvWithNextMacsList.back() = kMac;
  return s;
}

MagicPacket Packet() {
  MagicPacket packet;
  std::fill_n(packet.bytes.begin(), 6, std::uint8_t{0xFF});
  for (int copy = 0; copy < 16; ++copy) {
    std::copy(kMac.begin(), kMac.end(), packet.bytes.begin() + 6 + copy * 6);
  }
  std::copy(kPassword.begin(), kPassword.end(), packet.bytes.begin() + 102);
  packet.length = 108;
  return packet;
}

void BM_RecogniseAndFilterWorstCase(benchmark::State& state) {
  LoadAddressInfoEntryPoints();
  const bool shared_hosts = state.range(0) != 0;
  const ProxyServerSettings settings = WorstCase(shared_hosts);
  const OwnAddressTable own = ReadOwnAddressTable();
  ResolverCache cache(SystemTickClock());
  const StopRequest stop;
  ReceiveFilters filters(settings, own, cache, stop);
  const MagicPacket packet = Packet();
  Datagram datagram;
  datagram.length = packet.length;
  datagram.sender = {IpAddress::Ipv4(192, 168, 1, 77), 40005};
  if (filters.Ignores(packet, datagram)) state.SkipWithError("the packet should pass");
  for (auto _ : state) {
    benchmark::DoNotOptimize(IsMagicPacket(packet.payload()));
    benchmark::DoNotOptimize(filters.Ignores(packet, datagram));
  }
  state.SetLabel(shared_hosts ? "1000 host texts, all cached"
                              : "2000 host texts, 1000 resolved by the system per packet");
}
BENCHMARK(BM_RecogniseAndFilterWorstCase)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

void BM_ResolverLookupInAFullCache(benchmark::State& state) {
  const bool with_memo = state.range(0) != 0;
  ResolverCache cache(SystemTickClock(), [](const std::string&) { return HostAddresses{}; });
  for (int i = 0; i < 1000; ++i) cache.ResolveHost(Literal("10.0", i));
  const std::string last = Literal("10.0", 999);
  ResolverCache::Memo memo;
  for (auto _ : state)
    benchmark::DoNotOptimize(&cache.ResolveHost(last, with_memo ? &memo : nullptr));
  state.SetLabel(with_memo ? "repeated with memo" : "by text");
}
BENCHMARK(BM_ResolverLookupInAFullCache)->Arg(0)->Arg(1);

}  // namespace
}  // namespace corvane
