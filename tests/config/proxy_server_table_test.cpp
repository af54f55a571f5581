#include "config/proxy_server_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvane {
namespace {

std::vector<std::uint32_t> Ids(const ProxyServerTable& table) {
  std::vector<std::uint32_t> ids;
  for (std::size_t i = 0; i < table.size(); ++i) ids.push_back(table[i].Id);
  return ids;
}

TEST(ProxyServerSettings, NewProxyServerHasTheDefaults) {
  const ProxyServerSettings settings = *NewProxyServerSettings("Office");
  EXPECT_EQ(settings.ServerName, "Office");
  EXPECT_EQ(settings.RecvPort, 9);
  EXPECT_EQ(settings.SendPort, 9);
  EXPECT_FALSE(settings.SendDelay);
  EXPECT_EQ(settings.SendDelayTime, 100u);
  EXPECT_TRUE(settings.DontRecvFromYourIp);
  EXPECT_EQ(settings.IpMode, IpMode::UseIPv4);
  // Everything else off or empty: compare with a record that sets only the defaults above.
  ProxyServerSettings expected;
  expected.ServerName = "Office";
  EXPECT_EQ(settings, expected);
  EXPECT_FALSE(expected.ServerAutoStart || expected.DontRecvFromBroadcastIp ||
               expected.RecvFromHosts || expected.RemovePassword || expected.ReplaceMac);
}

TEST(ProxyServerSettings, NamesAreCutTo96AndMustNotBeEmpty) {
  EXPECT_EQ(NewProxyServerSettings(std::string(120, 'n'))->ServerName, std::string(96, 'n'));
  // "é" is two bytes; the 48th starts at byte 94 and ends at 95, the 49th would be split.
  std::string accents;
  for (int i = 0; i < 60; ++i) accents += "\xC3\xA9";
  EXPECT_EQ(CutText(accents).size(), 96u);
  EXPECT_EQ(CutText("x" + accents).size(), 95u);
  EXPECT_FALSE(NewProxyServerSettings("").has_value());
}

TEST(ProxyServerTable, IdsCountUpAndAreNeverReused) {
  ProxyServerTable table;
  EXPECT_EQ(AddProxyServer(table, "a"), 1u);
  EXPECT_EQ(AddProxyServer(table, "b"), 2u);
  EXPECT_EQ(AddProxyServer(table, "c"), 3u);
  EXPECT_TRUE(table.Remove(2));
  EXPECT_EQ(AddProxyServer(table, "d"), 4u);
  EXPECT_EQ(Ids(table), (std::vector<std::uint32_t>{1, 3, 4}));
  EXPECT_EQ(table.last_id(), 4u);
  EXPECT_FALSE(table.Remove(2));
  EXPECT_EQ(Ids(table), (std::vector<std::uint32_t>{1, 3, 4}));
}

TEST(ProxyServerTable, RegistrationIgnoresTheRecordsOwnId) {
  ProxyServerTable table;
  ProxyServerSettings settings = *NewProxyServerSettings("from a file");
  settings.Id = 77;
  EXPECT_EQ(table.Register(settings), 1u);
  EXPECT_EQ(table.Find(77), nullptr);
  EXPECT_EQ(table.Find(1)->ServerName, "from a file");
}

TEST(ProxyServerTable, HoldsAtMost1000) {
  ProxyServerTable table;
  for (int i = 0; i < 1000; ++i) ASSERT_NE(AddProxyServer(table, "p" + std::to_string(i)), 0u);
  EXPECT_EQ(AddProxyServer(table, "one too many"), 0u);
  EXPECT_EQ(table.size(), 1000u);
  EXPECT_EQ(table.last_id(), 1000u);
  // A place freed by a removal can be taken again, with a new Id.
  EXPECT_TRUE(table.Remove(500));
  EXPECT_EQ(AddProxyServer(table, "late"), 1001u);
}

TEST(ProxyServerTable, SameNamesStaySeparate) {
  ProxyServerTable table;
  const std::uint32_t first = AddProxyServer(table, "twin");
  const std::uint32_t second = AddProxyServer(table, "twin");
  table.Find(second)->RecvPort = 4000;
  EXPECT_TRUE(table.Remove(first));
  ASSERT_NE(table.Find(second), nullptr);
  EXPECT_EQ(table.Find(second)->RecvPort, 4000);
}

TEST(ProxyServerTable, RenameCutsAndRefusesEmptyNames) {
  ProxyServerTable table;
  const std::uint32_t id = AddProxyServer(table, "old");
  EXPECT_FALSE(table.Rename(id, ""));
  EXPECT_EQ(table.Find(id)->ServerName, "old");
  EXPECT_TRUE(table.Rename(id, std::string(100, 'x')));
  EXPECT_EQ(table.Find(id)->ServerName, std::string(96, 'x'));
  EXPECT_FALSE(table.Rename(id + 1, "nobody"));
}

TEST(ProxyServerTable, RecordsStayInPlaceWhileOthersAreRemoved) {
  ProxyServerTable table;
  const std::uint32_t a = AddProxyServer(table, "a");
  const std::uint32_t b = AddProxyServer(table, "b");
  const std::uint32_t c = AddProxyServer(table, "c");
  ProxyServerSettings* kept = table.Find(c);
  EXPECT_TRUE(table.Remove(a));
  EXPECT_EQ(table.Find(c), kept);
  EXPECT_EQ(Ids(table), (std::vector<std::uint32_t>{b, c}));
  table.FreeAll();
  EXPECT_TRUE(table.empty());
}

TEST(NormalizedCopy, AppliesEveryBound) {
  ProxyServerSettings settings;
  settings.SendDelayTime = 4000000000u;
  settings.RecvFromHostsList.assign(1001, HostEntry{"h", 200, 0});
  settings.DontRecvFromHostsList.push_back({std::string(120, 'h'), 129, 0});
  settings.RecvFromPortsList.push_back({5, 3});
  settings.DontRecvFromPortsList.push_back({3, 5});
  settings.RecvWithNextMacsList.resize(1500);
  ActionByMac action;
  action.ReplaceByMacPacketsList.resize(1001);
  action.ReplaceByMacPacketsList[0].Destination = {std::string(97, 'd'), 255, 9};
  settings.ActionsByMacsList.assign(1001, action);

  const ProxyServerSettings copy = NormalizedCopy(settings);
  EXPECT_EQ(copy.SendDelayTime, 10000u);
  EXPECT_EQ(copy.RecvFromHostsList.size(), 1000u);
  EXPECT_EQ(copy.RecvFromHostsList[999].Prefix, 128);
  EXPECT_EQ(copy.DontRecvFromHostsList[0].Host, std::string(96, 'h'));
  EXPECT_EQ(copy.DontRecvFromHostsList[0].Prefix, 128);
  EXPECT_EQ(copy.RecvFromPortsList[0], (PortRange{3, 5}));
  EXPECT_EQ(copy.DontRecvFromPortsList[0], (PortRange{3, 5}));
  EXPECT_EQ(copy.RecvWithNextMacsList.size(), 1000u);
  ASSERT_EQ(copy.ActionsByMacsList.size(), 1000u);
  const ReplaceByMacPacket& packet = copy.ActionsByMacsList[999].ReplaceByMacPacketsList[0];
  EXPECT_EQ(copy.ActionsByMacsList[0].ReplaceByMacPacketsList.size(), 1000u);
  EXPECT_EQ(packet.Destination.Host, std::string(96, 'd'));
  EXPECT_EQ(packet.Destination.Prefix, 128);
  // The record itself is left as it was: a PortRange is stored as entered.
  EXPECT_EQ(settings.RecvFromPortsList[0], (PortRange{5, 3}));
}

}  // namespace
}  // namespace corvane
