// The fields of a profile as the profile tool names them, written down once. JSON export, import,
// import's check of the keys and `show` all walk these descriptions, as the profile file's reader
// and writer walk config/profile_layout.h, so a field's key, kind and limits are spelled nowhere
// else.
//
// `JsonFields<Record>::Walk(v)` names every field of a record to a visitor `v`, in the order of the
// JSON object's keys and of `show`'s lines, each as (member, key, ...); the kind of the call says
// how the field is written:
//
//   v.Id(member, key)                      an Id, a whole number; `show` leaves it out
//   v.Flag(member, key)                    true or false ("on" or "off" in `show`)
//   v.Number(member, key, max[, rule])     a whole number 0..max; `rule` is what a required one
//                                          holds, the member whose value a missing one takes, or
//                                          the Unit that `show` gives it with
//   v.Text(member, key, what)              1..96 bytes of UTF-8 without zero characters, required;
//                                          `what` says what it holds
//   v.Mode(member, key)                    an IpMode by its name (kIpModeNames)
//   v.Six(member, key, required)           six bytes as 12 hexadecimal digits, "00:11:22:AA:BB:CC"
//   v.Password(member, has, key, has_key)  a packet's password: 12 hexadecimal digits or an empty
//                                          text, and whether there is one
//   v.Host(member, key, missing)           one host entry, a destination, required
//   v.Port(member, key)                    a host entry's port: see HostRole
//   v.List(member, key[, role])            a list of entries with a description of their own, of
//                                          host entries in `role`; a password or MAC list holds
//                                          six-byte texts
//
// A key that is missing on import keeps the window's default for a new proxy server or list entry.
#pragma once

#include <cstdint>
#include <limits>

#include "config/profile_layout.h"
#include "config/proxy_server_settings.h"

namespace corvane::profile_fields {

using profile_format::ProgramOptions;

inline constexpr const char* kIpModeNames[] = {"UseIPv4", "UseIPv6", "UseIPv4IPv6"};
inline constexpr std::uint16_t kMaxPort = 65535;
inline constexpr std::uint32_t kMaxId = std::numeric_limits<std::uint32_t>::max();

// The top-level keys of the JSON text.
inline constexpr const char* kOptionsKey = "ProgramOptions";
inline constexpr const char* kServersKey = "ProxyServers";

// A sender filter's host takes no port: 0 unless given, and left out of the JSON when 0 (one that
// a file holds anyway is kept). A destination's port is 9 unless given, and always written.
enum class HostRole { kSender, kDestination };

struct Unit {
  const char* text;
};

template <typename Record>
struct JsonFields;

template <>
struct JsonFields<StoredDisplayOptions> {
  template <typename V>
  static void Walk(V& v) {
    using O = StoredDisplayOptions;
    v.Flag(&O::ShowErrors, "ShowErrors");
    v.Flag(&O::DontShowResolveErrors, "DontShowResolveErrors");
    v.Flag(&O::DontShowSendErrors, "DontShowSendErrors");
    v.Flag(&O::ShowRecvPackets, "ShowRecvPackets");
    v.Flag(&O::DontShowIgnoredPackets, "DontShowIgnoredPackets");
    v.Flag(&O::ShowSendPackets, "ShowSendPackets");
  }
};

// The program options: the display options and the writing program's two values. Import takes
// LastId after the proxy servers, the largest of their Ids unless given.
template <>
struct JsonFields<ProgramOptions> {
  template <typename V>
  static void Walk(V& v) {
    v.Id(&ProgramOptions::LastId, "LastId");
    v.Flag(&ProgramOptions::AutoStart, "AutoStart");
    JsonFields<StoredDisplayOptions>::Walk(v);
  }
};

template <>
struct JsonFields<ProxyServerSettings> {
  template <typename V>
  static void Walk(V& v) {
    using S = ProxyServerSettings;
    v.Id(&S::Id, "Id");
    v.Text(&S::ServerName, "ServerName", "a proxy server needs a name");
    v.Flag(&S::ServerAutoStart, "ServerAutoStart");
    v.Flag(&S::ServerAutoStartOnService, "ServerAutoStartOnService");
    v.Mode(&S::IpMode, "IpMode");
    v.Number(&S::RecvPort, "RecvPort", kMaxPort);
    v.Number(&S::SendPort, "SendPort", kMaxPort);
    v.Flag(&S::SendDelay, "SendDelay");
    v.Number(&S::SendDelayTime, "SendDelayTime", kMaxSendDelayTime, Unit{" ms"});
    v.Flag(&S::DontRecvFromYourIp, "DontRecvFromYourIp");
    v.Flag(&S::DontRecvFromBroadcastIp, "DontRecvFromBroadcastIp");
    v.Flag(&S::DontRecvFromHosts, "DontRecvFromHosts");
    v.List(&S::DontRecvFromHostsList, "DontRecvFromHostsList", HostRole::kSender);
    v.Flag(&S::RecvFromHosts, "RecvFromHosts");
    v.List(&S::RecvFromHostsList, "RecvFromHostsList", HostRole::kSender);
    v.Flag(&S::DontRecvFromPorts, "DontRecvFromPorts");
    v.List(&S::DontRecvFromPortsList, "DontRecvFromPortsList");
    v.Flag(&S::RecvFromPorts, "RecvFromPorts");
    v.List(&S::RecvFromPortsList, "RecvFromPortsList");
    v.Flag(&S::DontRecvWithPassword, "DontRecvWithPassword");
    v.Flag(&S::DontRecvWithoutPassword, "DontRecvWithoutPassword");
    v.Flag(&S::DontRecvWithNextPasswords, "DontRecvWithNextPasswords");
    v.List(&S::DontRecvWithNextPasswordsList, "DontRecvWithNextPasswordsList");
    v.Flag(&S::RecvWithNextPasswords, "RecvWithNextPasswords");
    v.List(&S::RecvWithNextPasswordsList, "RecvWithNextPasswordsList");
    v.Flag(&S::DontRecvWithNextMacs, "DontRecvWithNextMacs");
    v.List(&S::DontRecvWithNextMacsList, "DontRecvWithNextMacsList");
    v.Flag(&S::RecvWithNextMacs, "RecvWithNextMacs");
    v.List(&S::RecvWithNextMacsList, "RecvWithNextMacsList");
    v.Flag(&S::RemovePassword, "RemovePassword");
    v.Flag(&S::ReplacePassword, "ReplacePassword");
    v.Six(&S::ReplacePasswordValue, "ReplacePasswordValue", false);
    v.Flag(&S::ReplaceMac, "ReplaceMac");
    v.Six(&S::ReplaceMacValue, "ReplaceMacValue", false);
    v.List(&S::SendToHostsList, "SendToHostsList", HostRole::kDestination);
    v.List(&S::ActionsByMacsList, "ActionsByMacsList");
  }
};

template <>
struct JsonFields<HostEntry> {
  template <typename V>
  static void Walk(V& v) {
    v.Text(&HostEntry::Host, "Host", "an IPv4 or IPv6 address or a host name");
    v.Number(&HostEntry::Prefix, "Prefix", kMaxPrefix);
    v.Port(&HostEntry::Port, "Port");
  }
};

template <>
struct JsonFields<PortRange> {
  template <typename V>
  static void Walk(V& v) {
    v.Number(&PortRange::First, "First", kMaxPort, "the first port of the range");
    v.Number(&PortRange::Last, "Last", kMaxPort, &PortRange::First);  // one port unless given
  }
};

template <>
struct JsonFields<ActionByMac> {
  template <typename V>
  static void Walk(V& v) {
    v.Six(&ActionByMac::Mac, "Mac", true);
    v.List(&ActionByMac::ReplaceByMacPacketsList, "ReplaceByMacPacketsList");
  }
};

// HasPassword, unless given, says whether a password was given.
template <>
struct JsonFields<ReplaceByMacPacket> {
  template <typename V>
  static void Walk(V& v) {
    using P = ReplaceByMacPacket;
    v.Six(&P::Mac, "Mac", true);
    v.Password(&P::Password, &P::HasPassword, "Password", "HasPassword");
    v.Host(&P::Destination, "Destination", "where the packet is sent");
  }
};

// A new host entry of `role` as the window fills it in: prefix 32.
inline HostEntry NewHost(HostRole role) {
  return {"", 32, static_cast<std::uint16_t>(role == HostRole::kDestination ? 9 : 0)};
}

}  // namespace corvane::profile_fields
