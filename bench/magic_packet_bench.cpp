// Recognising, normalising and rewriting one packet: the per-datagram work of the receive loop.
#include <benchmark/benchmark.h>

#include <algorithm>

#include "engine/magic_packet.h"

namespace corvane {
namespace {

MagicPacket SamplePacket(std::size_t length) {
  MagicPacket packet;
  std::fill_n(packet.bytes.begin(), 6, std::uint8_t{0xFF});
  for (std::size_t i = 6; i < 102; ++i) packet.bytes[i] = static_cast<std::uint8_t>(i % 6);
  packet.length = length;
  return packet;
}

void BM_RecogniseMagicPacket(benchmark::State& state) {
  const MagicPacket packet = SamplePacket(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(IsMagicPacket(packet.payload()));
}
BENCHMARK(BM_RecogniseMagicPacket)->Arg(102)->Arg(1000);

void BM_RewritePacket(benchmark::State& state) {
  const MagicPacket packet = SamplePacket(static_cast<std::size_t>(state.range(0)));
  ProxyServerSettings settings;
  settings.ReplacePassword = true;
  settings.ReplaceMac = true;
  for (auto _ : state) benchmark::DoNotOptimize(RewritePacket(packet, settings));
}
BENCHMARK(BM_RewritePacket)->Arg(108)->Arg(1000);

void BM_BuildPacket(benchmark::State& state) {
  ReplaceByMacPacket entry;
  entry.HasPassword = true;
  for (auto _ : state) benchmark::DoNotOptimize(BuildPacket(entry));
}
BENCHMARK(BM_BuildPacket);

}  // namespace
}  // namespace corvane
