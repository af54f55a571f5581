#include "config/profile_file.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <utility>

#include "config/little_endian.h"

namespace corvane {
namespace {

// Header.
constexpr std::uint32_t kHeaderSize = 640;
constexpr std::uint32_t kOptionsVersionAt = 0;
constexpr std::uint32_t kProxyVersionAt = 4;
constexpr std::uint32_t kOptionsOffsetAt = 12;
constexpr std::uint32_t kProxyTableOffsetAt = 212;
constexpr std::uint32_t kProxyCountAt = 612;
constexpr std::uint32_t kWrittenAtAt = 624;
constexpr std::uint32_t kVersion = 1;

// Program options block.
constexpr std::uint32_t kOptionsSize = 316;
constexpr std::uint32_t kOptionsAt = kHeaderSize;
constexpr std::uint32_t kProxyTableAt = kOptionsAt + kOptionsSize;  // 956

// Entries.
constexpr std::uint32_t kProxyEntrySize = 244;
constexpr std::uint32_t kHostEntrySize = 198;
constexpr std::uint32_t kPortRangeSize = 4;
constexpr std::uint32_t kSixBytesSize = 6;
constexpr std::uint32_t kActionSize = 16;
constexpr std::uint32_t kPacketSize = 212;

// Offsets of the lists in a proxy entry (each an offset and a count).
constexpr std::uint32_t kDontRecvFromHostsAt = 120;
constexpr std::uint32_t kRecvFromHostsAt = 132;
constexpr std::uint32_t kDontRecvFromPortsAt = 144;
constexpr std::uint32_t kRecvFromPortsAt = 156;
constexpr std::uint32_t kDontRecvWithPasswordsAt = 168;
constexpr std::uint32_t kRecvWithPasswordsAt = 180;
constexpr std::uint32_t kDontRecvWithMacsAt = 192;
constexpr std::uint32_t kRecvWithMacsAt = 204;
constexpr std::uint32_t kSendToHostsAt = 228;
constexpr std::uint32_t kActionsAt = 236;

template <typename List>
std::size_t Counted(const List& list) {
  return std::min(list.size(), kMaxListEntries);
}

// `record(i)` is the i-th of `count` records to write.
template <typename RecordAt>
std::uint64_t ImageSize(std::size_t count, const RecordAt& record) {
  std::uint64_t size = kProxyTableAt;
  for (std::size_t i = 0; i < count; ++i) {
    const ProxyServerSettings& s = record(i);
    size += kProxyEntrySize;
    size +=
        std::uint64_t{kHostEntrySize} * (Counted(s.DontRecvFromHostsList) +
                                         Counted(s.RecvFromHostsList) + Counted(s.SendToHostsList));
    size += std::uint64_t{kPortRangeSize} *
            (Counted(s.DontRecvFromPortsList) + Counted(s.RecvFromPortsList));
    size += std::uint64_t{kSixBytesSize} *
            (Counted(s.DontRecvWithNextPasswordsList) + Counted(s.RecvWithNextPasswordsList) +
             Counted(s.DontRecvWithNextMacsList) + Counted(s.RecvWithNextMacsList));
    size += std::uint64_t{kActionSize} * Counted(s.ActionsByMacsList);
    for (std::size_t a = 0; a < Counted(s.ActionsByMacsList); ++a) {
      size += std::uint64_t{kPacketSize} * Counted(s.ActionsByMacsList[a].ReplaceByMacPacketsList);
    }
  }
  return size;
}

// Writes the data areas of the proxy servers one after another, behind the proxy table.
class ImageWriter {
 public:
  ImageWriter(std::span<std::uint8_t> image, std::uint32_t data_at) : out_(image), next_(data_at) {}

  void Proxy(std::uint32_t at, std::uint32_t id, const ProxyServerSettings& s) {
    out_.U32(at, id);
    out_.Text(at + 4, s.ServerName, kMaxTextLength);
    out_.U8(at + 101, s.ServerAutoStart);
    out_.U8(at + 102, s.ServerAutoStartOnService);
    out_.U8(at + 103, static_cast<std::uint8_t>(s.IpMode));
    out_.U16(at + 104, s.RecvPort);
    out_.U16(at + 106, s.SendPort);
    out_.U8(at + 108, s.SendDelay);
    out_.U32(at + 112, s.SendDelayTime);
    out_.U8(at + 116, 1);
    out_.U8(at + 117, s.DontRecvFromYourIp);
    out_.U8(at + 118, s.DontRecvFromBroadcastIp);
    out_.U8(at + 119, s.DontRecvFromHosts);
    out_.U8(at + 128, s.RecvFromHosts);
    out_.U8(at + 140, s.DontRecvFromPorts);
    out_.U8(at + 152, s.RecvFromPorts);
    out_.U8(at + 164, s.DontRecvWithPassword);
    out_.U8(at + 165, s.DontRecvWithoutPassword);
    out_.U8(at + 166, s.DontRecvWithNextPasswords);
    out_.U8(at + 176, s.RecvWithNextPasswords);
    out_.U8(at + 188, s.DontRecvWithNextMacs);
    out_.U8(at + 200, s.RecvWithNextMacs);
    out_.U8(at + 212, s.RemovePassword);
    out_.U8(at + 213, s.ReplacePassword);
    out_.Bytes(at + 214, s.ReplacePasswordValue);
    out_.U8(at + 220, s.ReplaceMac);
    out_.Bytes(at + 221, s.ReplaceMacValue);

    List(at + kDontRecvFromHostsAt, s.DontRecvFromHostsList, kHostEntrySize, &ImageWriter::Host);
    List(at + kRecvFromHostsAt, s.RecvFromHostsList, kHostEntrySize, &ImageWriter::Host);
    List(at + kDontRecvFromPortsAt, s.DontRecvFromPortsList, kPortRangeSize, &ImageWriter::Ports);
    List(at + kRecvFromPortsAt, s.RecvFromPortsList, kPortRangeSize, &ImageWriter::Ports);
    List(at + kDontRecvWithPasswordsAt, s.DontRecvWithNextPasswordsList, kSixBytesSize,
         &ImageWriter::Six);
    List(at + kRecvWithPasswordsAt, s.RecvWithNextPasswordsList, kSixBytesSize, &ImageWriter::Six);
    List(at + kDontRecvWithMacsAt, s.DontRecvWithNextMacsList, kSixBytesSize, &ImageWriter::Six);
    List(at + kRecvWithMacsAt, s.RecvWithNextMacsList, kSixBytesSize, &ImageWriter::Six);
    List(at + kSendToHostsAt, s.SendToHostsList, kHostEntrySize, &ImageWriter::Host);
    // The action entries first, then the packets of each action in action order.
    const std::uint32_t actions_at =
        List(at + kActionsAt, s.ActionsByMacsList, kActionSize, &ImageWriter::ActionMac);
    for (std::size_t a = 0; a < Counted(s.ActionsByMacsList); ++a) {
      List(actions_at + static_cast<std::uint32_t>(a) * kActionSize + 8,
           s.ActionsByMacsList[a].ReplaceByMacPacketsList, kPacketSize, &ImageWriter::Packet);
    }
  }

  bool ok() const { return out_.ok(); }

 private:
  // Writes the offset and count at `at` and the entries at the next free place; returns where they
  // went. An empty list records where its area would begin.
  template <typename Entry>
  std::uint32_t List(std::uint32_t at, const std::vector<Entry>& list, std::uint32_t width,
                     void (ImageWriter::*write)(std::uint32_t, const Entry&)) {
    const std::uint32_t start = next_;
    const auto count = static_cast<std::uint32_t>(Counted(list));
    out_.U32(at, start);
    out_.U32(at + 4, count);
    for (std::uint32_t i = 0; i < count; ++i) (this->*write)(start + i * width, list[i]);
    next_ = start + count * width;
    return start;
  }

  void Host(std::uint32_t at, const HostEntry& entry) {
    out_.Text(at, entry.Host, kMaxTextLength);
    out_.U8(at + 194, entry.Prefix);
    out_.U16(at + 196, entry.Port);
  }
  void Ports(std::uint32_t at, const PortRange& range) {
    out_.U16(at, range.First);
    out_.U16(at + 2, range.Last);
  }
  void Six(std::uint32_t at, const std::array<std::uint8_t, 6>& bytes) { out_.Bytes(at, bytes); }
  void ActionMac(std::uint32_t at, const ActionByMac& action) { out_.Bytes(at, action.Mac); }
  void Packet(std::uint32_t at, const ReplaceByMacPacket& packet) {
    out_.Bytes(at, packet.Mac);
    out_.Bytes(at + 6, packet.Password);
    out_.U8(at + 12, packet.HasPassword);
    Host(at + 14, packet.Destination);
  }

  LittleEndianWriter out_;
  std::uint32_t next_;
};

// Where an entry lies within a proxy entry, spelled only when a report needs it:
// "ActionsByMacsList[2].ReplaceByMacPacketsList[0]".
struct Place {
  static constexpr std::uint32_t kField = 0xFFFFFFFF;  // a single entry, not one of a list

  const char* name;
  std::uint32_t index;
  const Place* parent;
};

std::string Spelled(const Place& place) {
  std::string text = place.parent ? Spelled(*place.parent) + "." : std::string();
  text += place.name;
  if (place.index != Place::kField) text += "[" + std::to_string(place.index) + "]";
  return text;
}

// Reads one proxy entry after another, keeping the "ok" state of the checks. With a report, it
// also notes each correction and the failed check; what is read does not depend on it.
class ImageReader {
 public:
  ImageReader(std::span<const std::uint8_t> image, ProfileReadReport* report)
      : in_(image), report_(report) {}

  const LittleEndianReader& in() const { return in_; }
  // The proxy table's bytes count against the file like the list areas.
  void CountProxyTable(std::uint64_t bytes) { referenced_ += bytes; }

  std::optional<ProxyServerSettings> Proxy(std::uint32_t index, std::uint32_t at) {
    proxy_ = index;
    ProxyServerSettings s;
    s.ServerName = std::string(in_.Text(at + 4, kMaxTextLength));
    if (report_ && s.ServerName.size() == kMaxTextLength && in_.U8(at + 100) != 0) {
      Correction(ProfileRule::kTextCut, "ServerName", 0);
    }
    s.ServerAutoStart = in_.U8(at + 101) != 0;
    s.ServerAutoStartOnService = in_.U8(at + 102) != 0;
    s.IpMode = static_cast<IpMode>(in_.U8(at + 103));
    s.RecvPort = in_.U16(at + 104);
    s.SendPort = in_.U16(at + 106);
    s.SendDelay = in_.U8(at + 108) != 0;
    const std::uint32_t delay = in_.U32(at + 112);
    s.SendDelayTime = std::min(delay, kMaxSendDelayTime);
    if (report_ && delay > kMaxSendDelayTime) {
      Correction(ProfileRule::kSendDelayTimeCut, "SendDelayTime", delay);
    }
    s.DontRecvFromYourIp = in_.U8(at + 117) != 0;
    s.DontRecvFromBroadcastIp = in_.U8(at + 118) != 0;
    s.DontRecvFromHosts = in_.U8(at + 119) != 0;
    s.RecvFromHosts = in_.U8(at + 128) != 0;
    s.DontRecvFromPorts = in_.U8(at + 140) != 0;
    s.RecvFromPorts = in_.U8(at + 152) != 0;
    s.DontRecvWithPassword = in_.U8(at + 164) != 0;
    s.DontRecvWithoutPassword = in_.U8(at + 165) != 0;
    s.DontRecvWithNextPasswords = in_.U8(at + 166) != 0;
    s.RecvWithNextPasswords = in_.U8(at + 176) != 0;
    s.DontRecvWithNextMacs = in_.U8(at + 188) != 0;
    s.RecvWithNextMacs = in_.U8(at + 200) != 0;
    s.RemovePassword = in_.U8(at + 212) != 0;
    s.ReplacePassword = in_.U8(at + 213) != 0;
    in_.Bytes(at + 214, s.ReplacePasswordValue);
    s.ReplaceMac = in_.U8(at + 220) != 0;
    in_.Bytes(at + 221, s.ReplaceMacValue);

    const auto host = [this](std::uint64_t entry, HostEntry& out, const Place& place) {
      return Host(entry, out, place);
    };
    const auto ports = [this](std::uint64_t entry, PortRange& out, const Place& place) {
      return Ports(entry, out, place);
    };
    const auto six = [this](std::uint64_t entry, std::array<std::uint8_t, 6>& out, const Place&) {
      in_.Bytes(entry, out);
      return true;
    };
    const auto packet = [this](std::uint64_t entry, ReplaceByMacPacket& out, const Place& place) {
      return Packet(entry, out, place);
    };
    const bool ok =
        List(at + kDontRecvFromHostsAt, kHostEntrySize, s.DontRecvFromHostsList, host,
             "DontRecvFromHostsList") &&
        List(at + kRecvFromHostsAt, kHostEntrySize, s.RecvFromHostsList, host,
             "RecvFromHostsList") &&
        List(at + kDontRecvFromPortsAt, kPortRangeSize, s.DontRecvFromPortsList, ports,
             "DontRecvFromPortsList") &&
        List(at + kRecvFromPortsAt, kPortRangeSize, s.RecvFromPortsList, ports,
             "RecvFromPortsList") &&
        List(at + kDontRecvWithPasswordsAt, kSixBytesSize, s.DontRecvWithNextPasswordsList, six,
             "DontRecvWithNextPasswordsList") &&
        List(at + kRecvWithPasswordsAt, kSixBytesSize, s.RecvWithNextPasswordsList, six,
             "RecvWithNextPasswordsList") &&
        List(at + kDontRecvWithMacsAt, kSixBytesSize, s.DontRecvWithNextMacsList, six,
             "DontRecvWithNextMacsList") &&
        List(at + kRecvWithMacsAt, kSixBytesSize, s.RecvWithNextMacsList, six,
             "RecvWithNextMacsList") &&
        List(at + kSendToHostsAt, kHostEntrySize, s.SendToHostsList, host, "SendToHostsList") &&
        List(
            at + kActionsAt, kActionSize, s.ActionsByMacsList,
            [&](std::uint64_t entry, ActionByMac& action, const Place& place) {
              in_.Bytes(entry, action.Mac);
              return List(entry + 8, kPacketSize, action.ReplaceByMacPacketsList, packet,
                          "ReplaceByMacPacketsList", &place);
            },
            "ActionsByMacsList");
    if (!ok) return std::nullopt;
    return s;
  }

  // Notes a check that ended the reading.
  void Failure(ProfileRule rule, std::uint64_t stored, std::uint64_t second = 0,
               std::string field = {}, std::optional<std::uint32_t> proxy = std::nullopt) {
    if (!report_) return;
    report_->failure = ProfileReadNote{rule, proxy, std::move(field), stored, second};
  }

 private:
  // Checks the offset and count at `at` and reads the entries. A well-formed file gives every
  // entry bytes of its own, so the entries taken from one file never need more bytes than the
  // file has: a file whose areas overlap over and over is refused instead of taking memory and time
  // far beyond its size.
  template <typename Entry, typename ReadEntry>
  bool List(std::uint64_t at, std::uint32_t width, std::vector<Entry>& list, ReadEntry read,
            const char* name, const Place* parent = nullptr) {
    const std::uint32_t offset = in_.U32(at);
    const std::uint32_t count = in_.U32(at + 4);
    const std::uint64_t bytes = std::uint64_t{width} * count;
    if (!in_.Fits(offset, bytes) || count > kMaxListEntries) {
      if (report_) {
        const std::string field = parent ? Spelled(*parent) + "." + name : name;
        if (count > kMaxListEntries) {
          Failure(ProfileRule::kListCountAbove1000, count, 0, field, proxy_);
        } else {
          Failure(ProfileRule::kListOutside, offset, count, field, proxy_);
        }
      }
      return false;
    }
    referenced_ += bytes;
    if (referenced_ > in_.size()) {
      if (report_) {
        Failure(ProfileRule::kListsOverlap, 0, 0, parent ? Spelled(*parent) + "." + name : name,
                proxy_);
      }
      return false;
    }
    list.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) {
      if (!read(offset + std::uint64_t{width} * i, list[i], Place{name, i, parent})) return false;
    }
    return true;
  }

  bool Host(std::uint64_t at, HostEntry& entry, const Place& place) {
    // The name ends at a zero byte, and at the latest after 96 characters.
    entry.Host = std::string(in_.Text(at, kMaxTextLength));
    const std::uint8_t prefix = in_.U8(at + 194);
    entry.Prefix = std::min(prefix, kMaxPrefix);
    entry.Port = in_.U16(at + 196);
    if (report_) {
      if (entry.Host.size() == kMaxTextLength && in_.U8(at + kMaxTextLength) != 0) {
        Correction(ProfileRule::kTextCut, Spelled(place) + ".Host", 0);
      }
      if (prefix > kMaxPrefix) {
        Correction(ProfileRule::kPrefixLowered, Spelled(place) + ".Prefix", prefix);
      }
    }
    return true;
  }
  bool Ports(std::uint64_t at, PortRange& range, const Place& place) {
    range.First = in_.U16(at);
    range.Last = in_.U16(at + 2);
    if (range.Last < range.First) {
      if (report_) {
        Correction(ProfileRule::kPortRangeSwapped, Spelled(place), range.First, range.Last);
        if (report_->keep_port_order) return true;
      }
      std::swap(range.First, range.Last);
    }
    return true;
  }
  bool Packet(std::uint64_t at, ReplaceByMacPacket& packet, const Place& place) {
    in_.Bytes(at, packet.Mac);
    in_.Bytes(at + 6, packet.Password);
    packet.HasPassword = in_.U8(at + 12) != 0;
    const Place destination{"Destination", Place::kField, &place};
    return Host(at + 14, packet.Destination, destination);
  }

  void Correction(ProfileRule rule, std::string field, std::uint64_t stored,
                  std::uint64_t second = 0) {
    if (report_->corrections.size() < ProfileReadReport::kMaxCorrections) {
      report_->corrections.push_back({rule, proxy_, std::move(field), stored, second});
    } else {
      ++report_->more_corrections;
    }
  }

  LittleEndianReader in_;
  ProfileReadReport* report_;
  std::uint32_t proxy_ = 0;
  std::uint64_t referenced_ = 0;  // bytes of the proxy table and all list areas taken so far
};

StoredDisplayOptions ReadOptions(const LittleEndianReader& in, std::uint32_t at) {
  StoredDisplayOptions options;
  options.ShowErrors = in.U8(at + 5) != 0;
  options.DontShowResolveErrors = in.U8(at + 6) != 0;
  options.DontShowSendErrors = in.U8(at + 7) != 0;
  options.ShowRecvPackets = in.U8(at + 8) != 0;
  options.DontShowIgnoredPackets = in.U8(at + 10) != 0;
  options.ShowSendPackets = in.U8(at + 11) != 0;
  return options;
}

bool LoadInto(const std::optional<std::string>& path, ProfileImageSink& sink) {
  if (!path) return false;
  const std::optional<std::vector<std::uint8_t>> image = ReadWholeFile(*path, kMaxProfileSize);
  return image && ReadProfileImage(*image, sink);
}

template <typename RecordAt>
std::vector<std::uint8_t> WriteImage(std::size_t record_count, const RecordAt& record,
                                     std::uint32_t last_id, const StoredDisplayOptions& options,
                                     bool auto_start, const CalendarTime& written_at) {
  const std::uint64_t size = ImageSize(record_count, record);
  if (size > kMaxProfileSize) return {};
  std::vector<std::uint8_t> image(size);
  LittleEndianWriter header(image);
  header.U32(kOptionsVersionAt, kVersion);
  header.U32(kProxyVersionAt, kVersion);
  header.U32(kOptionsOffsetAt, kOptionsAt);
  header.U32(kProxyTableOffsetAt, kProxyTableAt);
  const auto count = static_cast<std::uint32_t>(record_count);
  header.U32(kProxyCountAt, count);
  const std::uint16_t time[] = {written_at.year,   written_at.month,      written_at.day_of_week,
                                written_at.day,    written_at.hour,       written_at.minute,
                                written_at.second, written_at.millisecond};
  for (std::uint32_t i = 0; i < 8; ++i) header.U16(kWrittenAtAt + 2 * i, time[i]);

  header.U32(kOptionsAt, last_id);
  header.U8(kOptionsAt + 4, auto_start);
  header.U8(kOptionsAt + 5, options.ShowErrors);
  header.U8(kOptionsAt + 6, options.DontShowResolveErrors);
  header.U8(kOptionsAt + 7, options.DontShowSendErrors);
  header.U8(kOptionsAt + 8, options.ShowRecvPackets);
  header.U8(kOptionsAt + 9, 1);
  header.U8(kOptionsAt + 10, options.DontShowIgnoredPackets);
  header.U8(kOptionsAt + 11, options.ShowSendPackets);
  header.U8(kOptionsAt + 16, 1);

  ImageWriter writer(image, kProxyTableAt + count * kProxyEntrySize);
  for (std::uint32_t i = 0; i < count; ++i) {
    writer.Proxy(kProxyTableAt + i * kProxyEntrySize, record(i).Id, record(i));
  }
  if (!header.ok() || !writer.ok()) return {};
  return image;
}

}  // namespace

std::vector<std::uint8_t> WriteProfileImage(const ProxyServerTable& table,
                                            const StoredDisplayOptions& options, bool auto_start,
                                            const CalendarTime& written_at) {
  return WriteImage(
      table.size(), [&](std::size_t i) -> const ProxyServerSettings& { return table[i]; },
      table.last_id(), options, auto_start, written_at);
}

std::vector<std::uint8_t> WriteProfileImage(std::span<const ProxyServerSettings> records,
                                            std::uint32_t last_id,
                                            const StoredDisplayOptions& options, bool auto_start,
                                            const CalendarTime& written_at) {
  if (records.size() > ProxyServerTable::kCapacity) return {};
  return WriteImage(
      records.size(), [&](std::size_t i) -> const ProxyServerSettings& { return records[i]; },
      last_id, options, auto_start, written_at);
}

bool ReadProfileImage(std::span<const std::uint8_t> image, ProfileImageSink& sink,
                      ProfileReadReport* report) {
  ImageReader reader(image, report);
  const LittleEndianReader& in = reader.in();
  if (in.size() < kHeaderSize) {
    reader.Failure(ProfileRule::kTooShort, in.size());
    return false;
  }
  if (in.U32(kOptionsVersionAt) != kVersion) {
    reader.Failure(ProfileRule::kOptionsVersion, in.U32(kOptionsVersionAt));
    return false;
  }
  const std::uint32_t options_at = in.U32(kOptionsOffsetAt);
  if (!in.Fits(options_at, kOptionsSize)) {
    reader.Failure(ProfileRule::kOptionsOutside, options_at);
    return false;
  }
  sink.TakeOptions(ReadOptions(in, options_at));
  if (report) {
    report->options_read = true;
    report->last_id = in.U32(options_at);
    report->auto_start = in.U8(options_at + 4) != 0;
    std::uint16_t* const time[] = {
        &report->written_at.year,   &report->written_at.month,      &report->written_at.day_of_week,
        &report->written_at.day,    &report->written_at.hour,       &report->written_at.minute,
        &report->written_at.second, &report->written_at.millisecond};
    for (std::uint32_t i = 0; i < 8; ++i) *time[i] = in.U16(kWrittenAtAt + 2 * i);
  }

  if (in.U32(kProxyVersionAt) != kVersion) {
    reader.Failure(ProfileRule::kProxyVersion, in.U32(kProxyVersionAt));
    return false;
  }
  const std::uint32_t count = in.U32(kProxyCountAt);
  const std::uint32_t table_at = in.U32(kProxyTableOffsetAt);
  if (count > ProxyServerTable::kCapacity) {
    reader.Failure(ProfileRule::kProxyCountAbove1000, count);
    return false;
  }
  if (!in.Fits(table_at, std::uint64_t{kProxyEntrySize} * count)) {
    reader.Failure(ProfileRule::kProxyTableOutside, table_at, count);
    return false;
  }
  reader.CountProxyTable(std::uint64_t{kProxyEntrySize} * count);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t at = table_at + i * kProxyEntrySize;
    std::optional<ProxyServerSettings> record = reader.Proxy(i, at);
    if (!record) return false;
    if (report) report->stored_ids.push_back(in.U32(at));
    sink.TakeRecord(std::move(*record));
  }
  return true;
}

StoredDisplayOptions Snapshot(const DisplayOptions& options) {
  StoredDisplayOptions stored;
  stored.ShowErrors = IsSet(options.ShowErrors);
  stored.DontShowResolveErrors = IsSet(options.DontShowResolveErrors);
  stored.DontShowSendErrors = IsSet(options.DontShowSendErrors);
  stored.ShowRecvPackets = IsSet(options.ShowRecvPackets);
  stored.DontShowIgnoredPackets = IsSet(options.DontShowIgnoredPackets);
  stored.ShowSendPackets = IsSet(options.ShowSendPackets);
  return stored;
}

void Apply(const StoredDisplayOptions& stored, DisplayOptions& options) {
  Set(options.ShowErrors, stored.ShowErrors);
  Set(options.DontShowResolveErrors, stored.DontShowResolveErrors);
  Set(options.DontShowSendErrors, stored.DontShowSendErrors);
  Set(options.ShowRecvPackets, stored.ShowRecvPackets);
  Set(options.DontShowIgnoredPackets, stored.DontShowIgnoredPackets);
  Set(options.ShowSendPackets, stored.ShowSendPackets);
}

bool SaveProfile(const ProxyServerTable& table, const DisplayOptions& options, bool auto_start) {
  const std::optional<std::string> path = ProfilePath();
  if (!path) return false;
  const std::vector<std::uint8_t> image =
      WriteProfileImage(table, Snapshot(options), auto_start, CurrentUtcTime());
  return !image.empty() && ReplaceFile(*path, image);
}

bool LoadProfile(ProxyServerTable& table, DisplayOptions& options) {
  class DesktopSink final : public ProfileImageSink {
   public:
    DesktopSink(ProxyServerTable& table, DisplayOptions& options)
        : table_(table), options_(options) {}
    void TakeOptions(const StoredDisplayOptions& stored) override { Apply(stored, options_); }
    void TakeRecord(ProxyServerSettings record) override {
      static_cast<void>(table_.Register(std::move(record)));  // a full table keeps its records
    }

   private:
    ProxyServerTable& table_;
    DisplayOptions& options_;
  };
  DesktopSink sink(table, options);
  return LoadInto(ProfilePath(), sink);
}

std::string UnreadableProfilePath(const std::string& profile, const CalendarTime& local_time) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, ".unreadable-%04u%02u%02u-%02u%02u%02u", local_time.year,
                local_time.month, local_time.day, local_time.hour, local_time.minute,
                local_time.second);
  return profile + stamp;
}

bool SetProfileAside(const std::string& profile, const std::string& aside) {
  namespace fs = std::filesystem;
  if (!PathExists(profile)) return true;
  // A hard link never replaces a file of that name, so an older copy cannot be lost here.
  std::error_code error;
  fs::create_hard_link(profile, aside, error);
  if (error) {
    if (PathExists(aside)) return false;
    fs::rename(profile, aside, error);  // a file system without hard links
    if (error) return false;
  } else if (!RemoveFile(profile)) {
    return false;
  }
  const fs::path folder = fs::path(profile).parent_path();
  const std::string prefix = fs::path(profile).filename().string() + ".unreadable-";
  std::vector<std::string> copies;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with(prefix)) copies.push_back(name);
  }
  std::sort(copies.begin(), copies.end());  // oldest first: the names hold the time
  for (std::size_t i = 0; i + kKeptUnreadableProfiles < copies.size(); ++i) {
    RemoveFile((folder / copies[i]).string());
  }
  return true;
}

bool LoadServiceProfile(ProxyServerTable& table) {
  table.FreeAll();
  const std::optional<std::string> path = ServiceProfilePath();
  return path && LoadServiceProfileFrom(*path, table);
}

bool LoadServiceProfileFrom(const std::string& path, ProxyServerTable& table) {
  class ServiceSink final : public ProfileImageSink {
   public:
    explicit ServiceSink(ProxyServerTable& table) : table_(table) {}
    void TakeOptions(const StoredDisplayOptions&) override {}
    void TakeRecord(ProxyServerSettings record) override {
      if (table_.size() < ProxyServerTable::kCapacity) {
        static_cast<void>(table_.Register(std::move(record)));
      }
    }

   private:
    ProxyServerTable& table_;
  };
  table.FreeAll();
  ServiceSink sink(table);
  return LoadInto(path, sink);
}

bool ReleaseServiceProfile(ProxyServerTable& table) {
  table.FreeAll();
  return true;
}

}  // namespace corvane
