#include "desktop/entry_rules.h"

#include "config/list_entry_rules.h"

namespace corvane::desktop {
namespace {

std::string Utf8(const QString& text) { return text.toStdString(); }

QString Text(const std::string& text) { return QString::fromStdString(text); }

bool AnyEmpty(const QStringList& fields, std::initializer_list<int> required) {
  for (int index : required) {
    if (index >= fields.size() || fields[index].isEmpty()) return true;
  }
  return false;
}

std::optional<HostEntry> ParseHost(const QStringList& fields, bool with_port) {
  if (AnyEmpty(fields, {0, 1}) || (with_port && AnyEmpty(fields, {2}))) return std::nullopt;
  HostEntry entry;
  entry.Host = *ParseHostText(Utf8(fields[0]));
  entry.Prefix = ParsePrefix(Utf8(fields[1]));
  if (with_port) entry.Port = ParsePort(Utf8(fields[2]));
  return entry;
}

QStringList HostFields(const HostEntry& entry, bool with_port) {
  QStringList fields{Text(entry.Host), QString::number(entry.Prefix)};
  if (with_port) fields << QString::number(entry.Port);
  return fields;
}

}  // namespace

EntryRules<HostEntry> SenderHostRules() {
  return {[](const QStringList& f, const HostEntry*) { return ParseHost(f, false); }, HostRow,
          [](const HostEntry& e) { return HostFields(e, false); }};
}

EntryRules<HostEntry> DestinationRules() {
  return {[](const QStringList& f, const HostEntry*) { return ParseHost(f, true); }, DestinationRow,
          [](const HostEntry& e) { return HostFields(e, true); }};
}

EntryRules<PortRange> PortRangeRules() {
  return {[](const QStringList& f, const PortRange*) -> std::optional<PortRange> {
            if (AnyEmpty(f, {0})) return std::nullopt;
            return ParsePortRange(Utf8(f[0]));
          },
          PortRangeRow, [](const PortRange& r) { return QStringList{Text(PortRangeRow(r)[0])}; }};
}

EntryRules<std::array<std::uint8_t, 6>> SixBytesRules() {
  using Bytes = std::array<std::uint8_t, 6>;
  return {[](const QStringList& f, const Bytes*) -> std::optional<Bytes> {
            if (AnyEmpty(f, {0})) return std::nullopt;
            return ParseHexBytes(Utf8(f[0]));
          },
          HexRow, [](const Bytes& b) { return QStringList{Text(HexText(b))}; }};
}

EntryRules<ActionByMac> ActionRules() {
  return {[](const QStringList& f, const ActionByMac* editing) -> std::optional<ActionByMac> {
            if (AnyEmpty(f, {0})) return std::nullopt;
            const auto mac = ParseHexBytes(Utf8(f[0]));
            if (!mac) return std::nullopt;
            ActionByMac action = editing != nullptr ? *editing : ActionByMac{};
            action.Mac = *mac;  // Edit changes the MAC only
            return action;
          },
          [](const ActionByMac& a) { return HexRow(a.Mac); },
          [](const ActionByMac& a) { return QStringList{Text(HexText(a.Mac))}; }};
}

EntryRules<ReplaceByMacPacket> ReplacementPacketRules() {
  return {[](const QStringList& f,
             const ReplaceByMacPacket* editing) -> std::optional<ReplaceByMacPacket> {
            if (AnyEmpty(f, {0, 2, 3, 4})) return std::nullopt;
            const auto mac = ParseHexBytes(Utf8(f[0]));
            const auto password = ParsePacketPassword(Utf8(f[1]));
            if (!mac || !password) return std::nullopt;
            ReplaceByMacPacket packet = editing != nullptr ? *editing : ReplaceByMacPacket{};
            packet.Mac = *mac;
            packet.HasPassword = password->HasPassword;
            // An emptied password field leaves the old bytes, without effect.
            if (password->HasPassword || editing == nullptr) packet.Password = password->Password;
            packet.Destination.Host = *ParseHostText(Utf8(f[2]));
            packet.Destination.Prefix = ParsePrefix(Utf8(f[3]));
            packet.Destination.Port = ParsePort(Utf8(f[4]));
            return packet;
          },
          ReplacementPacketRow,
          [](const ReplaceByMacPacket& p) {
            QStringList fields{Text(HexText(p.Mac)),
                               p.HasPassword ? Text(HexText(p.Password)) : QString()};
            return fields + HostFields(p.Destination, true);
          }};
}

}  // namespace corvane::desktop
