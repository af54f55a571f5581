#include "desktop/entry_rules.h"

#include <QRegularExpression>

#include "config/list_entry_rules.h"
#include "platform/net_address.h"

namespace corvane::desktop {
namespace {

std::string Utf8(const QString& text) { return text.toStdString(); }

QString Text(const std::string& text) { return QString::fromStdString(text); }

// The fields' words in messages, by position.
using Words = std::initializer_list<const char*>;

// Refuses, with the reason in `note`, when one of the `required` fields is empty.
bool AnyEmpty(const QStringList& fields, Words words, std::initializer_list<int> required,
              QString* note) {
  for (int index : required) {
    if (index >= fields.size() || fields[index].isEmpty()) {
      *note = QString("the %1 is empty.").arg(std::data(words)[index]);
      return true;
    }
  }
  return false;
}

void Append(QString* note, const QString& text) {
  if (!note->isEmpty()) note->append(' ');
  note->append(text);
}

// Notes a prefix that the stored value's rule changes, or that an IPv4 address cannot use.
std::uint8_t Prefix(const QString& field, const QString& host, QString* note) {
  const std::uint8_t prefix = ParsePrefix(Utf8(field));
  const std::optional<std::int64_t> typed = ParseInteger(Utf8(field));
  if (!typed || *typed != prefix) {
    Append(note, QString("Network prefix %1 is not in 0..128; %2 is used.").arg(field).arg(prefix));
  } else if (const auto address = ParseIpAddress(SplitInterface(Utf8(host)).host);
             prefix > 32 && address && address->family == AddressFamily::kIpv4) {
    Append(note,
           QString("Network prefix %1 is above 32: the IPv4 address is used whole.").arg(prefix));
  }
  return prefix;
}

std::uint16_t Port(const QString& field, QString* note) {
  const std::uint16_t port = ParsePort(Utf8(field));
  const std::optional<std::int64_t> typed = ParseInteger(Utf8(field));
  if (!typed || *typed != port) {
    Append(note, QString("Port %1 is not in 0..65535; %2 is used.").arg(field).arg(port));
  }
  return port;
}

// Says what a destination's host text lacks (a link-scoped address without its interface).
void NoteDestination(const std::string& host, QString* note) {
  const std::string lacks = DestinationHostNote(host);
  if (!lacks.empty()) Append(note, Text(lacks) + ".");
}

std::optional<HostEntry> ParseHost(const QStringList& fields, bool with_port, QString* note) {
  static constexpr Words kWords = {"IP address or host name", "network prefix", "port"};
  if (AnyEmpty(fields, kWords, {0, 1}, note) || (with_port && AnyEmpty(fields, kWords, {2}, note)))
    return std::nullopt;
  HostEntry entry;
  entry.Host = *ParseHostText(Utf8(fields[0]));
  entry.Prefix = Prefix(fields[1], fields[0], note);
  if (with_port) {
    entry.Port = Port(fields[2], note);
    NoteDestination(entry.Host, note);
  }
  return entry;
}

QStringList HostFields(const HostEntry& entry, bool with_port) {
  QStringList fields{Text(entry.Host), QString::number(entry.Prefix)};
  if (with_port) fields << QString::number(entry.Port);
  return fields;
}

std::optional<std::array<std::uint8_t, 6>> SixBytes(const QString& field, const char* what,
                                                    QString* note) {
  auto bytes = ParseHexBytes(Utf8(field));
  if (!bytes) *note = QString("the %1 needs exactly 12 hexadecimal digits.").arg(what);
  return bytes;
}

}  // namespace

EntryRules<HostEntry> SenderHostRules() {
  return {[](const QStringList& f, const HostEntry*, QString* note) {
            return ParseHost(f, false, note);
          },
          HostRow, [](const HostEntry& e) { return HostFields(e, false); }};
}

EntryRules<HostEntry> DestinationRules() {
  return {[](const QStringList& f, const HostEntry*, QString* note) {
            return ParseHost(f, true, note);
          },
          DestinationRow, [](const HostEntry& e) { return HostFields(e, true); }};
}

EntryRules<PortRange> PortRangeRules() {
  return {[](const QStringList& f, const PortRange*, QString* note) -> std::optional<PortRange> {
            if (AnyEmpty(f, {"port or port range"}, {0}, note)) return std::nullopt;
            const PortRange range = ParsePortRange(Utf8(f[0]));
            bool any_digit = false, above = false;
            for (const auto& run : QRegularExpression("[0-9]+").globalMatch(f[0])) {
              any_digit = true;
              bool ok = false;
              above = above || !(run.captured().toLongLong(&ok) <= 65535 && ok);
            }
            if (!any_digit) Append(note, "No port number was given; 0 is used.");
            if (above) Append(note, "Ports above 65535 are taken as 65535.");
            return range;
          },
          PortRangeRow, [](const PortRange& r) { return QStringList{Text(PortRangeRow(r)[0])}; }};
}

EntryRules<std::array<std::uint8_t, 6>> SixBytesRules(const char* what) {
  using Bytes = std::array<std::uint8_t, 6>;
  return {[what](const QStringList& f, const Bytes*, QString* note) -> std::optional<Bytes> {
            if (AnyEmpty(f, {what}, {0}, note)) return std::nullopt;
            return SixBytes(f[0], what, note);
          },
          HexRow, [](const Bytes& b) { return QStringList{Text(HexText(b))}; }};
}

EntryRules<ActionByMac> ActionRules() {
  return {[](const QStringList& f, const ActionByMac* editing,
             QString* note) -> std::optional<ActionByMac> {
            if (AnyEmpty(f, {"MAC address"}, {0}, note)) return std::nullopt;
            const auto mac = SixBytes(f[0], "MAC address", note);
            if (!mac) return std::nullopt;
            ActionByMac action = editing != nullptr ? *editing : ActionByMac{};
            action.Mac = *mac;  // Edit changes the MAC only
            return action;
          },
          [](const ActionByMac& a) { return HexRow(a.Mac); },
          [](const ActionByMac& a) { return QStringList{Text(HexText(a.Mac))}; }};
}

EntryRules<ReplaceByMacPacket> ReplacementPacketRules() {
  return {[](const QStringList& f, const ReplaceByMacPacket* editing,
             QString* note) -> std::optional<ReplaceByMacPacket> {
            static constexpr Words kWords = {"MAC address", "magic password",
                                             "IP address or host name", "network prefix", "port"};
            if (AnyEmpty(f, kWords, {0, 2, 3, 4}, note)) return std::nullopt;
            const auto mac = SixBytes(f[0], "MAC address", note);
            if (!mac) return std::nullopt;
            const auto password = ParsePacketPassword(Utf8(f[1]));
            if (!password) {
              *note = "the magic password needs exactly 12 hexadecimal digits, or none.";
              return std::nullopt;
            }
            ReplaceByMacPacket packet = editing != nullptr ? *editing : ReplaceByMacPacket{};
            packet.Mac = *mac;
            packet.HasPassword = password->HasPassword;
            // An emptied password field leaves the old bytes, without effect.
            if (password->HasPassword || editing == nullptr) packet.Password = password->Password;
            packet.Destination.Host = *ParseHostText(Utf8(f[2]));
            packet.Destination.Prefix = Prefix(f[3], f[2], note);
            packet.Destination.Port = Port(f[4], note);
            NoteDestination(packet.Destination.Host, note);
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
