// The byte layout of the profile file, written down once. The profile writer, the reader and the
// size count all walk these descriptions, so the place of a field is spelled nowhere else.
//
// `Layout<Record>` describes one kind of record in the file: its size `kSize` and a function
// `Fields(v)` that names every field to a visitor `v`, in offset order (checked at compile time
// below), each as (offset, member, name); the kind of the call gives the field's width:
//
//   v.U8 / U16 / U32(offset, member, name[, cap])  an unsigned little-endian integer, a flag
//                                                   (written 0 or 1, any non-zero byte reads as on)
//                                                   or an enumeration
//   v.Bytes(offset, member, name)                  a fixed array of bytes, as it stands
//   v.Text(offset, member, name)                   at most 96 bytes of text and a zero byte (97)
//   v.Nested(offset, member, name)                 a record with a layout of its own
//   v.List(offset, member, name)                   the offset and the count (4 + 4 bytes) of a list
//                                                   whose entries lie in an area of their own
//   v.Fixed(offset, value, name)                   a byte the format fixes at `value`
//
// Bytes that no field names are zero in a written file and ignored by readers. The names are the
// members' names: the reader's report spells a field with them ("SendToHostsList[2].Prefix").
#pragma once

#include <cstdint>
#include <tuple>

#include "config/profile_image.h"
#include "config/profile_read_report.h"
#include "config/proxy_server_settings.h"
#include "platform/files.h"

namespace corvane::profile_format {

// A stored value above `max` is read as `max`, and the reader notes `rule`. Writers store the value
// as the record holds it.
struct Cap {
  std::uint32_t max = 0xFFFFFFFF;
  ProfileRule rule = ProfileRule::kSendDelayTimeCut;  // unused without a lower `max`
};

// The member of an entry that is the whole entry (a password or MAC list entry is its six bytes).
struct WholeEntry {};

template <typename Record, typename Owner, typename Member>
constexpr auto& MemberOf(Record& record, Member Owner::*member) {
  return record.*member;
}
template <typename Record>
constexpr Record& MemberOf(Record& record, WholeEntry) {
  return record;
}

inline constexpr std::uint32_t kVersion = 1;  // of the options part and of the proxy part

// A text field: at most kMaxTextLength bytes of text, then at least one zero byte.
inline constexpr std::uint32_t kTextFieldSize = kMaxTextLength + 1;

// A list field: the offset of the list's area, then the count of its entries.
inline constexpr std::uint32_t kListCountAt = 4;
inline constexpr std::uint32_t kListFieldSize = 8;

// Three flag bytes that the format fixes at 1 (on): bytes 9 and 16 of the options block and byte
// 116 of a proxy entry. They sit among the flags but hold no setting: nothing in the programs can
// change them and no reader looks at them. Every writer sets them, so that a file's bytes follow
// from its settings alone and a file is the same whichever version of the programs wrote it.
inline constexpr std::uint8_t kFixedOn = 1;

template <typename Record>
struct Layout;

// The header at the start of the file.
struct ProfileHeader {
  std::uint32_t OptionsVersion = 0;
  std::uint32_t ProxyVersion = 0;
  std::uint32_t OptionsAt = 0;     // where the options block lies
  std::uint32_t ProxyTableAt = 0;  // where the proxy entries lie, back to back
  std::uint32_t ProxyCount = 0;
  CalendarTime WrittenAt;  // UTC; kept for the record, no reader uses it
};

template <>
struct Layout<ProfileHeader> {
  static constexpr std::uint32_t kSize = 640;
  template <typename V>
  static constexpr void Fields(V& v) {
    using H = ProfileHeader;
    v.U32(0, &H::OptionsVersion, "OptionsVersion");
    v.U32(4, &H::ProxyVersion, "ProxyVersion");
    v.U32(12, &H::OptionsAt, "OptionsAt");
    v.U32(212, &H::ProxyTableAt, "ProxyTableAt");
    v.U32(612, &H::ProxyCount, "ProxyCount");
    v.Nested(624, &H::WrittenAt, "WrittenAt");
  }
};

// Eight 16-bit values, in the order of the fields.
template <>
struct Layout<CalendarTime> {
  static constexpr std::uint32_t kSize = 16;
  template <typename V>
  static constexpr void Fields(V& v) {
    using T = CalendarTime;
    v.U16(0, &T::year, "year");
    v.U16(2, &T::month, "month");
    v.U16(4, &T::day_of_week, "day_of_week");  // 0 = Sunday
    v.U16(6, &T::day, "day");
    v.U16(8, &T::hour, "hour");
    v.U16(10, &T::minute, "minute");
    v.U16(12, &T::second, "second");
    v.U16(14, &T::millisecond, "millisecond");
  }
};

// The program options block: the display options and two values that readers ignore.
struct ProgramOptions : StoredDisplayOptions {
  std::uint32_t LastId = 0;  // the last Id handed out by the writing program
  bool AutoStart = false;    // the writing program's login start
};

template <>
struct Layout<ProgramOptions> {
  static constexpr std::uint32_t kSize = 316;  // bytes 17 and 18 are always 0, 19.. reserved
  template <typename V>
  static constexpr void Fields(V& v) {
    using O = ProgramOptions;
    v.U32(0, &O::LastId, "LastId");
    v.U8(4, &O::AutoStart, "AutoStart");
    v.U8(5, &O::ShowErrors, "ShowErrors");
    v.U8(6, &O::DontShowResolveErrors, "DontShowResolveErrors");
    v.U8(7, &O::DontShowSendErrors, "DontShowSendErrors");
    v.U8(8, &O::ShowRecvPackets, "ShowRecvPackets");
    v.Fixed(9, kFixedOn, "FixedOn9");
    v.U8(10, &O::DontShowIgnoredPackets, "DontShowIgnoredPackets");
    v.U8(11, &O::ShowSendPackets, "ShowSendPackets");
    v.Fixed(16, kFixedOn, "FixedOn16");
  }
};

// One proxy entry of the proxy table. Its Id is the writing program's; readers hand records over
// without it, and the table gives each its own at registration.
template <>
struct Layout<ProxyServerSettings> {
  static constexpr std::uint32_t kSize = 244;
  template <typename V>
  static constexpr void Fields(V& v) {
    using S = ProxyServerSettings;
    v.U32(0, &S::Id, "Id");
    v.Text(4, &S::ServerName, "ServerName");
    v.U8(101, &S::ServerAutoStart, "ServerAutoStart");
    v.U8(102, &S::ServerAutoStartOnService, "ServerAutoStartOnService");
    v.U8(103, &S::IpMode, "IpMode");
    v.U16(104, &S::RecvPort, "RecvPort");
    v.U16(106, &S::SendPort, "SendPort");
    v.U8(108, &S::SendDelay, "SendDelay");
    v.U32(112, &S::SendDelayTime, "SendDelayTime",
          Cap{kMaxSendDelayTime, ProfileRule::kSendDelayTimeCut});
    v.Fixed(116, kFixedOn, "FixedOn116");
    v.U8(117, &S::DontRecvFromYourIp, "DontRecvFromYourIp");
    v.U8(118, &S::DontRecvFromBroadcastIp, "DontRecvFromBroadcastIp");
    v.U8(119, &S::DontRecvFromHosts, "DontRecvFromHosts");
    v.List(120, &S::DontRecvFromHostsList, "DontRecvFromHostsList");
    v.U8(128, &S::RecvFromHosts, "RecvFromHosts");
    v.List(132, &S::RecvFromHostsList, "RecvFromHostsList");
    v.U8(140, &S::DontRecvFromPorts, "DontRecvFromPorts");
    v.List(144, &S::DontRecvFromPortsList, "DontRecvFromPortsList");
    v.U8(152, &S::RecvFromPorts, "RecvFromPorts");
    v.List(156, &S::RecvFromPortsList, "RecvFromPortsList");
    v.U8(164, &S::DontRecvWithPassword, "DontRecvWithPassword");
    v.U8(165, &S::DontRecvWithoutPassword, "DontRecvWithoutPassword");
    v.U8(166, &S::DontRecvWithNextPasswords, "DontRecvWithNextPasswords");
    v.List(168, &S::DontRecvWithNextPasswordsList, "DontRecvWithNextPasswordsList");
    v.U8(176, &S::RecvWithNextPasswords, "RecvWithNextPasswords");
    v.List(180, &S::RecvWithNextPasswordsList, "RecvWithNextPasswordsList");
    v.U8(188, &S::DontRecvWithNextMacs, "DontRecvWithNextMacs");
    v.List(192, &S::DontRecvWithNextMacsList, "DontRecvWithNextMacsList");
    v.U8(200, &S::RecvWithNextMacs, "RecvWithNextMacs");
    v.List(204, &S::RecvWithNextMacsList, "RecvWithNextMacsList");
    v.U8(212, &S::RemovePassword, "RemovePassword");
    v.U8(213, &S::ReplacePassword, "ReplacePassword");
    v.Bytes(214, &S::ReplacePasswordValue, "ReplacePasswordValue");
    v.U8(220, &S::ReplaceMac, "ReplaceMac");
    v.Bytes(221, &S::ReplaceMacValue, "ReplaceMacValue");
    v.List(228, &S::SendToHostsList, "SendToHostsList");
    v.List(236, &S::ActionsByMacsList, "ActionsByMacsList");
  }
};

// Bytes 97..193 hold a second text field that is always empty; 195 is not used.
template <>
struct Layout<HostEntry> {
  static constexpr std::uint32_t kSize = 198;
  template <typename V>
  static constexpr void Fields(V& v) {
    v.Text(0, &HostEntry::Host, "Host");
    v.U8(194, &HostEntry::Prefix, "Prefix", Cap{kMaxPrefix, ProfileRule::kPrefixLowered});
    v.U16(196, &HostEntry::Port, "Port");
  }
};

template <>
struct Layout<PortRange> {
  static constexpr std::uint32_t kSize = 4;
  template <typename V>
  static constexpr void Fields(V& v) {
    v.U16(0, &PortRange::First, "First");
    v.U16(2, &PortRange::Last, "Last");
  }
};

// A password or a MAC address (MagicPassword and MacAddress are the same type).
template <>
struct Layout<MacAddress> {
  static constexpr std::uint32_t kSize = std::tuple_size_v<MacAddress>;
  template <typename V>
  static constexpr void Fields(V& v) {
    v.Bytes(0, WholeEntry{}, "Bytes");
  }
};

// The action's packets are the only list inside a list entry.
template <>
struct Layout<ActionByMac> {
  static constexpr std::uint32_t kSize = 16;
  template <typename V>
  static constexpr void Fields(V& v) {
    v.Bytes(0, &ActionByMac::Mac, "Mac");
    v.List(8, &ActionByMac::ReplaceByMacPacketsList, "ReplaceByMacPacketsList");
  }
};

// Byte 13 is not used.
template <>
struct Layout<ReplaceByMacPacket> {
  static constexpr std::uint32_t kSize = 212;
  template <typename V>
  static constexpr void Fields(V& v) {
    using P = ReplaceByMacPacket;
    v.Bytes(0, &P::Mac, "Mac");
    v.Bytes(6, &P::Password, "Password");
    v.U8(12, &P::HasPassword, "HasPassword");
    v.Nested(14, &P::Destination, "Destination");
  }
};

// Checks a description: every field lies inside the record and after the one before it, so no two
// overlap and the writer lays out list areas in the order of their fields.
template <typename Record>
class LayoutCheck {
 public:
  template <typename M>
  constexpr void U8(std::uint32_t at, M, const char*, Cap = {}) {
    Take(at, 1);
  }
  template <typename M>
  constexpr void U16(std::uint32_t at, M, const char*, Cap = {}) {
    Take(at, 2);
  }
  template <typename M>
  constexpr void U32(std::uint32_t at, M, const char*, Cap = {}) {
    Take(at, 4);
  }
  template <typename Owner, typename Array>
  constexpr void Bytes(std::uint32_t at, Array Owner::*, const char*) {
    Take(at, std::tuple_size_v<Array>);
  }
  constexpr void Bytes(std::uint32_t at, WholeEntry, const char*) {
    Take(at, std::tuple_size_v<Record>);
  }
  template <typename M>
  constexpr void Text(std::uint32_t at, M, const char*) {
    Take(at, kTextFieldSize);
  }
  template <typename Owner, typename Inner>
  constexpr void Nested(std::uint32_t at, Inner Owner::*, const char*) {
    Take(at, Layout<Inner>::kSize);
  }
  template <typename M>
  constexpr void List(std::uint32_t at, M, const char*) {
    Take(at, kListFieldSize);
  }
  constexpr void Fixed(std::uint32_t at, std::uint8_t, const char*) { Take(at, 1); }

  constexpr bool ok() const { return ok_; }

 private:
  constexpr void Take(std::uint32_t at, std::size_t width) {
    if (at < end_ || width > Layout<Record>::kSize || at > Layout<Record>::kSize - width) {
      ok_ = false;
    }
    end_ = at + static_cast<std::uint32_t>(width);
  }

  std::uint32_t end_ = 0;
  bool ok_ = true;
};

template <typename Record>
constexpr bool FieldsInOrderInside() {
  LayoutCheck<Record> check;
  Layout<Record>::Fields(check);
  return check.ok();
}

static_assert(FieldsInOrderInside<ProfileHeader>());
static_assert(FieldsInOrderInside<CalendarTime>());
static_assert(FieldsInOrderInside<ProgramOptions>());
static_assert(FieldsInOrderInside<ProxyServerSettings>());
static_assert(FieldsInOrderInside<HostEntry>());
static_assert(FieldsInOrderInside<PortRange>());
static_assert(FieldsInOrderInside<MacAddress>());
static_assert(FieldsInOrderInside<ActionByMac>());
static_assert(FieldsInOrderInside<ReplaceByMacPacket>());

}  // namespace corvane::profile_format
