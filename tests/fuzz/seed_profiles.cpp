#include "tests/fuzz/seed_profiles.h"

#include "config/profile_file.h"

namespace corvane::test {

std::vector<std::pair<std::string, std::vector<std::uint8_t>>> SeedProfiles() {
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> seeds;
  const auto save = [&](const ProxyServerTable& table, const char* name) {
    seeds.emplace_back(
        name, WriteProfileImage(table, {}, true, CalendarTime{2026, 12, 2, 8, 0, 0, 0, 0}));
  };
  ProxyServerTable table;
  save(table, "empty");
  static_cast<void>(AddProxyServer(table, "New proxy server"));
  save(table, "one-default");

  ProxyServerSettings full = *NewProxyServerSettings("full");
  full.DontRecvFromHostsList = {{"192.168.1.0", 24, 0}};
  full.RecvFromHostsList = {{"fe80::1", 64, 0}, {"printer", 0, 0}};
  full.DontRecvFromPortsList = {{5, 3}};
  full.RecvFromPortsList = {{40000, 40009}};
  full.DontRecvWithNextPasswordsList = {{1, 2, 3, 4, 5, 6}};
  full.RecvWithNextPasswordsList = {{6, 5, 4, 3, 2, 1}};
  full.DontRecvWithNextMacsList = {{0, 0x11, 0x22, 0x33, 0x44, 0x55}};
  full.RecvWithNextMacsList = {{0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}};
  full.SendToHostsList = {{"255.255.255.255", 32, 9}, {"::1", 0, 7}};
  ReplaceByMacPacket packet{{1, 1, 1, 1, 1, 1}, {2, 2, 2, 2, 2, 2}, true, {"host", 24, 9}};
  full.ActionsByMacsList = {{{3, 3, 3, 3, 3, 3}, {packet, packet}}, {{4, 4, 4, 4, 4, 4}, {}}};
  static_cast<void>(table.Register(full));
  save(table, "two");
  static_cast<void>(table.Register(full));
  save(table, "three");
  return seeds;
}

}  // namespace corvane::test
