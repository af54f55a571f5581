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
