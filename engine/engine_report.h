// Engine status codes, the event record that an engine thread hands to its window, the error texts
// of both program variants, and which events the display options let through.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "config/display_options.h"
#include "config/proxy_server_settings.h"
#include "engine/magic_packet.h"
#include "platform/net_address.h"

namespace corvane {
struct WakeOutcome;
}

namespace corvane {

enum class EngineStatus : std::int32_t {
  kSocketsReady = 0,
  kCannotCreateIpv4Socket = 1,
  kCannotBindIpv4Socket = 2,  // the port in question is reported
  kCannotCreateIpv6Socket = 3,
  kCannotBindIpv6Socket = 4,  // the port in question is reported
  kCannotResolveHost = 5,
  kSendFailed = 6,
  kNoSettings = 10,  // the proxy server was gone before its thread took its settings
  // Not failures: what became of a host that a sent packet wakes (ReportMac; the interface in
  // ReportHost; ReportMilliseconds since the packet, or the watch time), and that this program
  // may not reach sleeping hosts nor see them wake.
  kHostWoke = 20,
  kHostNotSeen = 21,
  kNoLinkLayer = 22,
  kUnknownIpMode = 100,
};

// Why the engine ignored a received magic packet: the filter that ignored it, or the storm guard.
// The log row still says only "Yes" or "No"; the reason is extra detail for the window.
enum class IgnoreReason : std::uint8_t {
  kNone = 0,          // accepted
  kBroadcastArrival,  // DontRecvFromBroadcastIp
  kOwnAddress,        // DontRecvFromYourIp
  kSenderHost,        // DontRecvFromHosts, RecvFromHosts
  kSenderPort,        // DontRecvFromPorts, RecvFromPorts
  kPassword,          // the four password checks
  kMac,               // DontRecvWithNextMacs, RecvWithNextMacs
  kStormGuard,        // the target MAC went through this proxy server too often (a relay loop)
};

// Completes "Ignored because ...": e.g. "it came from an address of this host". Empty for kNone.
std::string_view IgnoreReasonText(IgnoreReason reason);
// The reason in the few words of a log column ("sent from this host"). Empty for kNone.
std::string_view IgnoreReasonWords(IgnoreReason reason);
// The reason's key in counter texts and metrics labels ("own_address"); "none" for kNone.
std::string_view IgnoreReasonKey(IgnoreReason reason);

// One event, written by the engine thread just before it hands the event over and read by the
// window thread while the engine thread waits.
struct EngineReport {
  std::uint32_t Id = 0;
  EngineStatus Status = EngineStatus::kSocketsReady;  // errors only
  // Errors 2 and 4: the port in question. Error 6 and packets: the remote UDP port.
  std::uint16_t ReportPort = 0;
  // Error 6 and packets: the remote address; its family is the report's family.
  IpAddress ReportAddress;
  std::string ReportHost;  // error 5: the host text that did not resolve; 20, 21: the interface
  std::uint32_t ReportMilliseconds = 0;  // 20, 21
  MacAddress ReportMac{};
  MagicPassword ReportPassword{};
  bool ReportHasPassword = false;
  bool ReportIgnored = false;  // received packets: the filters or the storm guard ignored it
  IgnoreReason ReportIgnoreReason = IgnoreReason::kNone;  // why, when ReportIgnored is set
  bool ReportReceived = false;  // true for a received packet, false for a sent one
};

// The report of a received (`received` true) or sent packet and its remote endpoint.
EngineReport PacketReport(std::uint32_t id, const MagicPacket& packet, const Endpoint& remote,
                          bool received, bool ignored);
// The report of a received packet that was accepted (kNone) or ignored for `reason`.
EngineReport ReceivedReport(std::uint32_t id, const MagicPacket& packet, const Endpoint& sender,
                            IgnoreReason reason);

// The report of a wake outcome (kHostWoke or kHostNotSeen).
EngineReport WakeReport(std::uint32_t id, const WakeOutcome& outcome);

// The desktop program's text of an error report, e.g. "Can not bind 9 port for IPv4 socket".
std::string ErrorText(const EngineReport& report);

// The service program's text of a start-up failure; the port is written as five digits
// ("Can not bind port 00009 for IPv4 socket").
std::string ServiceErrorText(EngineStatus status, std::uint16_t port);

enum class EngineEvent {
  kStartError,  // socket creation or bind, no settings, unknown IpMode
  kResolveError,
  kSendError,
  kAcceptedPacket,
  kIgnoredPacket,
  kSentPacket,
  kWakeOutcome,
};

// Whether the display options let an event through. The engine asks before it fills a report, so
// an excluded event costs the window thread nothing and leaves no trace.
bool IsRecorded(EngineEvent event, const DisplayOptions& options);

}  // namespace corvane
