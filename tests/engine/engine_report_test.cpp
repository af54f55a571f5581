#include "engine/engine_report.h"

#include <gtest/gtest.h>

#include "engine/proxy_loop.h"

namespace corvane {
namespace {

EngineReport Error(EngineStatus status, std::uint16_t port = 0) {
  EngineReport report;
  report.Status = status;
  report.ReportPort = port;
  return report;
}

TEST(EngineReport, DesktopErrorTexts) {
  EXPECT_EQ(ErrorText(Error(EngineStatus::kCannotCreateIpv4Socket)), "Can not create IPv4 socket");
  EXPECT_EQ(ErrorText(Error(EngineStatus::kCannotBindIpv4Socket, 9)),
            "Can not bind 9 port for IPv4 socket");
  EXPECT_EQ(ErrorText(Error(EngineStatus::kCannotCreateIpv6Socket)), "Can not create IPv6 socket");
  EXPECT_EQ(ErrorText(Error(EngineStatus::kCannotBindIpv6Socket, 65535)),
            "Can not bind 65535 port for IPv6 socket");
  EngineReport resolve = Error(EngineStatus::kCannotResolveHost);
  resolve.ReportHost = "printer.example";
  EXPECT_EQ(ErrorText(resolve), "Can not resolve printer.example to IP address");
  EngineReport send = Error(EngineStatus::kSendFailed, 9);
  send.ReportAddress = IpAddress::Ipv4(192, 168, 1, 255);
  EXPECT_EQ(ErrorText(send), "Can not send packet to 192.168.1.255 : 9");
  send.ReportAddress = *ParseIpAddress("fe80::1");
  EXPECT_EQ(ErrorText(send), "Can not send packet to fe80::1 : 9");
  EXPECT_EQ(ErrorText(Error(EngineStatus::kNoSettings)), "Unknown error");
  EXPECT_EQ(ErrorText(Error(EngineStatus::kUnknownIpMode)), "Unknown error");
}

TEST(EngineReport, ServiceErrorTextsWriteThePortAsFiveDigits) {
  EXPECT_EQ(ServiceErrorText(EngineStatus::kCannotBindIpv4Socket, 9),
            "Can not bind port 00009 for IPv4 socket");
  EXPECT_EQ(ServiceErrorText(EngineStatus::kCannotBindIpv6Socket, 40000),
            "Can not bind port 40000 for IPv6 socket");
  EXPECT_EQ(ServiceErrorText(EngineStatus::kCannotCreateIpv4Socket, 0),
            "Can not create IPv4 socket");
  EXPECT_EQ(ServiceErrorText(EngineStatus::kCannotCreateIpv6Socket, 0),
            "Can not create IPv6 socket");
  EXPECT_EQ(ServiceErrorText(EngineStatus::kUnknownIpMode, 0), "Unknown error");
}

TEST(EngineReport, PacketReportCarriesTheFieldsOfThePacket) {
  MagicPacket packet;
  packet.length = 108;
  for (std::size_t i = 6; i < 102; ++i) packet.bytes[i] = static_cast<std::uint8_t>(i % 6 + 1);
  packet.bytes[102] = 0xAB;
  Endpoint sender{*ParseIpAddress("::1"), 40000};
  const EngineReport report = PacketReport(7, packet, sender, true, true);
  EXPECT_EQ(report.Id, 7u);
  EXPECT_EQ(report.ReportPort, 40000);
  EXPECT_EQ(report.ReportAddress.family, AddressFamily::kIpv6);
  EXPECT_EQ(report.ReportMac, (MacAddress{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(report.ReportPassword[0], 0xAB);
  EXPECT_TRUE(report.ReportHasPassword && report.ReportReceived && report.ReportIgnored);
}

struct GatingCase {
  EngineEvent event;
  bool show_errors, dont_resolve, dont_send, show_recv, dont_ignored, show_send;
  bool recorded;
};

class Gating : public ::testing::TestWithParam<GatingCase> {};

TEST_P(Gating, FollowsTheDisplayOptions) {
  const GatingCase& c = GetParam();
  DisplayOptions options;
  Set(options.ShowErrors, c.show_errors);
  Set(options.DontShowResolveErrors, c.dont_resolve);
  Set(options.DontShowSendErrors, c.dont_send);
  Set(options.ShowRecvPackets, c.show_recv);
  Set(options.DontShowIgnoredPackets, c.dont_ignored);
  Set(options.ShowSendPackets, c.show_send);
  EXPECT_EQ(IsRecorded(c.event, options), c.recorded);
}

using E = EngineEvent;
INSTANTIATE_TEST_SUITE_P(
    Table, Gating,
    ::testing::Values(
        // Errors: nothing without ShowErrors, whatever the two "don't show" options say.
        GatingCase{E::kStartError, true, true, true, false, false, false, true},
        GatingCase{E::kStartError, false, false, false, true, false, true, false},
        GatingCase{E::kResolveError, true, false, true, false, false, false, true},
        GatingCase{E::kResolveError, true, true, false, false, false, false, false},
        GatingCase{E::kResolveError, false, false, false, true, false, true, false},
        GatingCase{E::kSendError, true, true, false, false, false, false, true},
        GatingCase{E::kSendError, true, false, true, false, false, false, false},
        GatingCase{E::kSendError, false, false, false, true, false, true, false},
        // Packets.
        GatingCase{E::kAcceptedPacket, false, false, false, true, true, false, true},
        GatingCase{E::kAcceptedPacket, true, false, false, false, false, true, false},
        GatingCase{E::kIgnoredPacket, false, false, false, true, false, false, true},
        GatingCase{E::kIgnoredPacket, false, false, false, true, true, false, false},
        GatingCase{E::kIgnoredPacket, true, false, false, false, false, true, false},
        GatingCase{E::kSentPacket, false, false, false, false, false, true, true},
        GatingCase{E::kSentPacket, true, false, false, true, false, false, false}),
    [](const ::testing::TestParamInfo<GatingCase>& row) { return std::to_string(row.index); });

TEST(BusyPacer, HundredBusyPassesThenOnePause) {
  BusyPacer pacer;
  for (int pass = 1; pass <= 100; ++pass) {
    ASSERT_EQ(pacer.AfterPass(true), BusyPacer::Next::kPassAtOnce) << "pass " << pass;
  }
  EXPECT_EQ(pacer.AfterPass(true), BusyPacer::Next::kPause);
  EXPECT_EQ(pacer.AfterPass(true), BusyPacer::Next::kPassAtOnce);  // counting starts again
  EXPECT_EQ(pacer.AfterPass(false), BusyPacer::Next::kIdleWait);
  for (int pass = 1; pass <= 100; ++pass)
    ASSERT_EQ(pacer.AfterPass(true), BusyPacer::Next::kPassAtOnce);
  EXPECT_EQ(pacer.AfterPass(false), BusyPacer::Next::kIdleWait);  // an idle pass resets the count
  EXPECT_EQ(pacer.AfterPass(true), BusyPacer::Next::kPassAtOnce);
}

}  // namespace
}  // namespace corvane
