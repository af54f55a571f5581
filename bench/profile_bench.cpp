// Saving and loading a large profile: 1000 proxy servers, each with ten entries in every list and
// two actions of five packets (about 8.6 MB).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "config/profile_file.h"

namespace corvane {
namespace {

void FillLarge(ProxyServerTable& table) {
  ProxyServerSettings s = *NewProxyServerSettings("a proxy server with a long enough name");
  for (int i = 0; i < 10; ++i) {
    const std::string host = "192.168." + std::to_string(i) + ".0";
    s.DontRecvFromHostsList.push_back({host, 24, 0});
    s.RecvFromHostsList.push_back({"host-" + std::to_string(i) + ".example.org", 32, 0});
    s.SendToHostsList.push_back({host, 24, 9});
    s.DontRecvFromPortsList.push_back({static_cast<std::uint16_t>(i), 100});
    s.RecvFromPortsList.push_back({40000, static_cast<std::uint16_t>(40000 + i)});
    const auto b = static_cast<std::uint8_t>(i);
    s.DontRecvWithNextPasswordsList.push_back({b, 1, 2, 3, 4, 5});
    s.RecvWithNextPasswordsList.push_back({b, 5, 4, 3, 2, 1});
    s.DontRecvWithNextMacsList.push_back({b, 0x11, 0x22, 0x33, 0x44, 0x55});
    s.RecvWithNextMacsList.push_back({b, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE});
  }
  ReplaceByMacPacket packet{{1, 2, 3, 4, 5, 6}, {6, 5, 4, 3, 2, 1}, true, {"10.0.0.255", 32, 9}};
  s.ActionsByMacsList.assign(2, ActionByMac{{9, 9, 9, 9, 9, 9}, {5, packet}});
  for (int i = 0; i < 1000; ++i) static_cast<void>(table.Register(s));
}

class Discard final : public ProfileImageSink {
 public:
  void TakeOptions(const StoredDisplayOptions&) override {}
  void TakeRecord(ProxyServerSettings record) override { benchmark::DoNotOptimize(record); }
};

void BM_WriteProfileImage(benchmark::State& state) {
  ProxyServerTable table;
  FillLarge(table);
  std::size_t bytes = 0;
  for (auto _ : state) bytes = WriteProfileImage(table, {}, false, CalendarTime{}).size();
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
}
BENCHMARK(BM_WriteProfileImage)->Unit(benchmark::kMillisecond);

void BM_ReadProfileImage(benchmark::State& state) {
  ProxyServerTable table;
  FillLarge(table);
  const auto image = WriteProfileImage(table, {}, false, CalendarTime{});
  for (auto _ : state) {
    Discard sink;
    benchmark::DoNotOptimize(ReadProfileImage(image, sink));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(image.size()) * state.iterations());
}
BENCHMARK(BM_ReadProfileImage)->Unit(benchmark::kMillisecond);

// The whole round through the file system, flushed to disk on every save.
void BM_SaveAndLoadProfileFile(benchmark::State& state) {
  char folder[] = "/tmp/corvane-bench-XXXXXX";
  if (mkdtemp(folder) == nullptr) return state.SkipWithError("no temporary folder");
  setenv("HOME", folder, 1);
  ProxyServerTable table;
  FillLarge(table);
  DisplayOptions options;
  for (auto _ : state) {
    if (!SaveProfile(table, options, false)) state.SkipWithError("save failed");
    ProxyServerTable loaded;
    DisplayOptions loaded_options;
    if (!LoadProfile(loaded, loaded_options)) state.SkipWithError("load failed");
  }
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_SaveAndLoadProfileFile)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvane
