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

std::uint64_t ImageSize(const ProxyServerTable& table) {
  std::uint64_t size = kProxyTableAt;
  for (std::size_t i = 0; i < table.size(); ++i) {
    const ProxyServerSettings& s = table[i].Settings;
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

// Reads one proxy entry after another, keeping the "ok" state of the checks.
class ImageReader {
 public:
  explicit ImageReader(std::span<const std::uint8_t> image) : in_(image) {}

  const LittleEndianReader& in() const { return in_; }
  // The proxy table's bytes count against the file like the list areas.
  void CountProxyTable(std::uint64_t bytes) { referenced_ += bytes; }

  std::optional<ProxyServerSettings> Proxy(std::uint32_t at) {
    ProxyServerSettings s;
    s.ServerName = std::string(in_.Text(at + 4, kMaxTextLength));
    s.ServerAutoStart = in_.U8(at + 101) != 0;
    s.ServerAutoStartOnService = in_.U8(at + 102) != 0;
    s.IpMode = static_cast<IpMode>(in_.U8(at + 103));
    s.RecvPort = in_.U16(at + 104);
    s.SendPort = in_.U16(at + 106);
    s.SendDelay = in_.U8(at + 108) != 0;
    s.SendDelayTime = std::min(in_.U32(at + 112), kMaxSendDelayTime);
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

    const bool ok =
        List(at + kDontRecvFromHostsAt, kHostEntrySize, s.DontRecvFromHostsList, Host) &&
        List(at + kRecvFromHostsAt, kHostEntrySize, s.RecvFromHostsList, Host) &&
        List(at + kDontRecvFromPortsAt, kPortRangeSize, s.DontRecvFromPortsList, Ports) &&
        List(at + kRecvFromPortsAt, kPortRangeSize, s.RecvFromPortsList, Ports) &&
        List(at + kDontRecvWithPasswordsAt, kSixBytesSize, s.DontRecvWithNextPasswordsList, Six) &&
        List(at + kRecvWithPasswordsAt, kSixBytesSize, s.RecvWithNextPasswordsList, Six) &&
        List(at + kDontRecvWithMacsAt, kSixBytesSize, s.DontRecvWithNextMacsList, Six) &&
        List(at + kRecvWithMacsAt, kSixBytesSize, s.RecvWithNextMacsList, Six) &&
        List(at + kSendToHostsAt, kHostEntrySize, s.SendToHostsList, Host) &&
        List(at + kActionsAt, kActionSize, s.ActionsByMacsList,
             [this](const LittleEndianReader& in, std::uint64_t entry, ActionByMac& action) {
               in.Bytes(entry, action.Mac);
               return List(entry + 8, kPacketSize, action.ReplaceByMacPacketsList, Packet);
             });
    if (!ok) return std::nullopt;
    return s;
  }

 private:
  // Checks the offset and count at `at` and reads the entries. A well-formed file gives every
  // entry bytes of its own, so the entries taken from one file never need more bytes than the
  // file has: a file whose areas overlap over and over is refused instead of taking memory and time
  // far beyond its size.
  template <typename Entry, typename ReadEntry>
  bool List(std::uint64_t at, std::uint32_t width, std::vector<Entry>& list, ReadEntry read) {
    const std::uint32_t offset = in_.U32(at);
    const std::uint32_t count = in_.U32(at + 4);
    const std::uint64_t bytes = std::uint64_t{width} * count;
    if (!in_.Fits(offset, bytes) || count > kMaxListEntries) return false;
    referenced_ += bytes;
    if (referenced_ > in_.size()) return false;
    list.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) {
      if (!read(in_, offset + std::uint64_t{width} * i, list[i])) return false;
    }
    return true;
  }

  static bool Host(const LittleEndianReader& in, std::uint64_t at, HostEntry& entry) {
    // The name ends at a zero byte, and at the latest after 96 characters.
    entry.Host = std::string(in.Text(at, kMaxTextLength));
    entry.Prefix = std::min(in.U8(at + 194), kMaxPrefix);
    entry.Port = in.U16(at + 196);
    return true;
  }
  static bool Ports(const LittleEndianReader& in, std::uint64_t at, PortRange& range) {
    range.First = in.U16(at);
    range.Last = in.U16(at + 2);
    if (range.Last < range.First) std::swap(range.First, range.Last);
    return true;
  }
  static bool Six(const LittleEndianReader& in, std::uint64_t at, std::array<std::uint8_t, 6>& v) {
    in.Bytes(at, v);
    return true;
  }
  static bool Packet(const LittleEndianReader& in, std::uint64_t at, ReplaceByMacPacket& packet) {
    in.Bytes(at, packet.Mac);
    in.Bytes(at + 6, packet.Password);
    packet.HasPassword = in.U8(at + 12) != 0;
    return Host(in, at + 14, packet.Destination);
  }

  LittleEndianReader in_;
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

// The path `folder` + "/" + `name`, under the length rules of the profile folders.
std::optional<std::string> PathIn(std::string folder, const char* name) {
  if (folder.size() < 2 || folder.size() > 220) return std::nullopt;
  if (folder.back() == '/') folder.pop_back();
  return folder + "/" + name;
}

}  // namespace

std::vector<std::uint8_t> WriteProfileImage(const ProxyServerTable& table,
                                            const StoredDisplayOptions& options, bool auto_start,
                                            const CalendarTime& written_at) {
  const std::uint64_t size = ImageSize(table);
  if (size > kMaxProfileSize) return {};
  std::vector<std::uint8_t> image(size);
  LittleEndianWriter header(image);
  header.U32(kOptionsVersionAt, kVersion);
  header.U32(kProxyVersionAt, kVersion);
  header.U32(kOptionsOffsetAt, kOptionsAt);
  header.U32(kProxyTableOffsetAt, kProxyTableAt);
  const auto count = static_cast<std::uint32_t>(table.size());
  header.U32(kProxyCountAt, count);
  const std::uint16_t time[] = {written_at.year,   written_at.month,      written_at.day_of_week,
                                written_at.day,    written_at.hour,       written_at.minute,
                                written_at.second, written_at.millisecond};
  for (std::uint32_t i = 0; i < 8; ++i) header.U16(kWrittenAtAt + 2 * i, time[i]);

  header.U32(kOptionsAt, table.last_id());
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
    writer.Proxy(kProxyTableAt + i * kProxyEntrySize, table[i].Settings.Id, table[i].Settings);
  }
  if (!header.ok() || !writer.ok()) return {};
  return image;
}

bool ReadProfileImage(std::span<const std::uint8_t> image, ProfileImageSink& sink) {
  ImageReader reader(image);
  const LittleEndianReader& in = reader.in();
  if (in.size() < kHeaderSize || in.U32(kOptionsVersionAt) != kVersion) return false;
  const std::uint32_t options_at = in.U32(kOptionsOffsetAt);
  if (!in.Fits(options_at, kOptionsSize)) return false;
  sink.TakeOptions(ReadOptions(in, options_at));

  if (in.U32(kProxyVersionAt) != kVersion) return false;
  const std::uint32_t count = in.U32(kProxyCountAt);
  const std::uint32_t table_at = in.U32(kProxyTableOffsetAt);
  if (count > ProxyServerTable::kCapacity ||
      !in.Fits(table_at, std::uint64_t{kProxyEntrySize} * count)) {
    return false;
  }
  reader.CountProxyTable(std::uint64_t{kProxyEntrySize} * count);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::optional<ProxyServerSettings> record = reader.Proxy(table_at + i * kProxyEntrySize);
    if (!record) return false;
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

std::optional<std::string> ProfilePath() {
  const std::optional<std::string> folder = PathIn(UserProfileDirectory(), "Corvane");
  if (!folder) return std::nullopt;
  CreateDirectory(*folder);
  return *folder + "/profile.dat";
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

std::optional<std::string> ServiceProfilePath() {
  const std::string folder = SystemDirectory();
  if (folder.size() > 200) return std::nullopt;
  return PathIn(folder, "CorvaneService.dat");
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
