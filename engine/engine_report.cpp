#include "engine/engine_report.h"

#include <cstdio>

namespace corvane {

EngineReport PacketReport(std::uint32_t id, const MagicPacket& packet, const Endpoint& remote,
                          bool received, bool ignored) {
  EngineReport report;
  report.Id = id;
  report.ReportPort = remote.port;
  report.ReportAddress = remote.address;
  report.ReportMac = packet.TargetMac();
  report.ReportPassword = packet.Password();
  report.ReportHasPassword = packet.HasPassword();
  report.ReportIgnored = ignored;
  report.ReportReceived = received;
  return report;
}

EngineReport ReceivedReport(std::uint32_t id, const MagicPacket& packet, const Endpoint& sender,
                            IgnoreReason reason) {
  EngineReport report = PacketReport(id, packet, sender, /*received=*/true,
                                     /*ignored=*/reason != IgnoreReason::kNone);
  report.ReportIgnoreReason = reason;
  return report;
}

std::string_view IgnoreReasonText(IgnoreReason reason) {
  switch (reason) {
    case IgnoreReason::kNone:
      return "";
    case IgnoreReason::kBroadcastArrival:
      return "it arrived as a broadcast";
    case IgnoreReason::kOwnAddress:
      return "it came from an address of this host";
    case IgnoreReason::kSenderHost:
      return "of the filter by sender host";
    case IgnoreReason::kSenderPort:
      return "of the filter by sender port";
    case IgnoreReason::kPassword:
      return "of the filter by magic password";
    case IgnoreReason::kMac:
      return "of the filter by MAC address";
    case IgnoreReason::kStormGuard:
      return "its MAC address was relayed too often (a relay loop?)";
  }
  return "";
}

std::string ErrorText(const EngineReport& report) {
  const std::string port = std::to_string(report.ReportPort);
  switch (report.Status) {
    case EngineStatus::kCannotCreateIpv4Socket:
      return "Can not create IPv4 socket";
    case EngineStatus::kCannotBindIpv4Socket:
      return "Can not bind " + port + " port for IPv4 socket";
    case EngineStatus::kCannotCreateIpv6Socket:
      return "Can not create IPv6 socket";
    case EngineStatus::kCannotBindIpv6Socket:
      return "Can not bind " + port + " port for IPv6 socket";
    case EngineStatus::kCannotResolveHost:
      return "Can not resolve " + report.ReportHost + " to IP address";
    case EngineStatus::kSendFailed:
      return "Can not send packet to " + AddressToString(report.ReportAddress) + " : " + port;
    default:
      return "Unknown error";
  }
}

std::string ServiceErrorText(EngineStatus status, std::uint16_t port) {
  char digits[8];
  std::snprintf(digits, sizeof digits, "%05u", static_cast<unsigned>(port));
  switch (status) {
    case EngineStatus::kCannotCreateIpv4Socket:
      return "Can not create IPv4 socket";
    case EngineStatus::kCannotBindIpv4Socket:
      return std::string("Can not bind port ") + digits + " for IPv4 socket";
    case EngineStatus::kCannotCreateIpv6Socket:
      return "Can not create IPv6 socket";
    case EngineStatus::kCannotBindIpv6Socket:
      return std::string("Can not bind port ") + digits + " for IPv6 socket";
    default:
      return "Unknown error";
  }
}

bool IsRecorded(EngineEvent event, const DisplayOptions& options) {
  switch (event) {
    case EngineEvent::kStartError:
      return IsSet(options.ShowErrors);
    case EngineEvent::kResolveError:
      return IsSet(options.ShowErrors) && !IsSet(options.DontShowResolveErrors);
    case EngineEvent::kSendError:
      return IsSet(options.ShowErrors) && !IsSet(options.DontShowSendErrors);
    case EngineEvent::kAcceptedPacket:
      return IsSet(options.ShowRecvPackets);
    case EngineEvent::kIgnoredPacket:
      return IsSet(options.ShowRecvPackets) && !IsSet(options.DontShowIgnoredPackets);
    case EngineEvent::kSentPacket:
      return IsSet(options.ShowSendPackets);
  }
  return false;
}

}  // namespace corvane
