#include "engine/engine_report.h"

#include <chrono>
#include <cstdio>
#include <iterator>

#include "config/list_entry_rules.h"
#include "engine/wake_watcher.h"

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

namespace {

struct IgnoreReasonNames {
  std::string_view key, words, text;
};

// One row per IgnoreReason, in the order of its values.
constexpr IgnoreReasonNames kIgnoreReasonNames[] = {
    {"none", "", ""},
    {"broadcast", "sent as a broadcast", "it arrived as a broadcast"},
    {"own_address", "sent from this host", "it came from an address of this host"},
    {"sender_host", "sender host filter", "of the filter by sender host"},
    {"sender_port", "sender port filter", "of the filter by sender port"},
    {"password", "magic password filter", "of the filter by magic password"},
    {"mac", "MAC address filter", "of the filter by MAC address"},
    {"storm_guard", "relay loop guard", "its MAC address was relayed too often (a relay loop?)"},
};
static_assert(std::size(kIgnoreReasonNames) ==
              static_cast<std::size_t>(IgnoreReason::kStormGuard) + 1);

const IgnoreReasonNames& NamesOf(IgnoreReason reason) {
  const auto index = static_cast<std::size_t>(reason);
  return index < std::size(kIgnoreReasonNames) ? kIgnoreReasonNames[index] : kIgnoreReasonNames[0];
}

}  // namespace

std::string_view IgnoreReasonText(IgnoreReason reason) { return NamesOf(reason).text; }

std::string_view IgnoreReasonWords(IgnoreReason reason) { return NamesOf(reason).words; }

std::string_view IgnoreReasonKey(IgnoreReason reason) { return NamesOf(reason).key; }

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
    case EngineStatus::kHostWoke:
    case EngineStatus::kHostNotSeen:
      return "MAC " + HexText(report.ReportMac) + " " +
             WakeOutcomeText({report.ReportMac, report.Status == EngineStatus::kHostWoke,
                              report.ReportHost,
                              std::chrono::milliseconds(report.ReportMilliseconds)});
    case EngineStatus::kNoLinkLayer:
      return "Reaching sleeping hosts that answer no ARP, and seeing hosts wake, need the "
             "service: this program may not use packet sockets (CAP_NET_RAW)";
    default:
      return "Unknown error";
  }
}

EngineReport WakeReport(std::uint32_t id, const WakeOutcome& outcome) {
  EngineReport report;
  report.Id = id;
  report.Status = outcome.woke ? EngineStatus::kHostWoke : EngineStatus::kHostNotSeen;
  report.ReportMac = outcome.mac;
  report.ReportHost = outcome.interface_name;
  report.ReportMilliseconds = static_cast<std::uint32_t>(outcome.after.count());
  return report;
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
    case EngineEvent::kWakeOutcome:
      return IsSet(options.ShowErrors);
  }
  return false;
}

}  // namespace corvane
