#include "config/profile_image.h"

#include <algorithm>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "config/little_endian.h"
#include "config/profile_layout.h"

namespace corvane {
namespace {

using profile_format::Cap;
using profile_format::kListCountAt;
using profile_format::Layout;
using profile_format::MemberOf;
using profile_format::ProfileHeader;
using profile_format::ProgramOptions;

constexpr std::uint32_t kHeaderSize = Layout<ProfileHeader>::kSize;
constexpr std::uint32_t kProxyEntrySize = Layout<ProxyServerSettings>::kSize;
// Where the writer puts the options block and the proxy table: right behind the header.
constexpr std::uint32_t kOptionsAt = kHeaderSize;
constexpr std::uint32_t kProxyTableAt = kOptionsAt + Layout<ProgramOptions>::kSize;  // 956

template <typename List>
std::size_t Counted(const List& list) {
  return std::min(list.size(), kMaxListEntries);
}

template <typename Entry>
constexpr std::uint32_t EntrySize(const std::vector<Entry>&) {
  return Layout<Entry>::kSize;
}

// Adds up the list areas that a record refers to, with those of its entries' lists.
template <typename Record>
class AreaCounter {
 public:
  explicit AreaCounter(const Record& record) : record_(record) {}

  template <typename M>
  void U8(std::uint32_t, M, const char*, Cap = {}) {}
  template <typename M>
  void U16(std::uint32_t, M, const char*, Cap = {}) {}
  template <typename M>
  void U32(std::uint32_t, M, const char*, Cap = {}) {}
  template <typename M>
  void Bytes(std::uint32_t, M, const char*) {}
  template <typename M>
  void Text(std::uint32_t, M, const char*) {}
  template <typename M>
  void Nested(std::uint32_t, M member, const char*) {
    bytes += AreaBytes(MemberOf(record_, member));
  }
  template <typename M>
  void List(std::uint32_t, M member, const char*) {
    const auto& list = MemberOf(record_, member);
    bytes += std::uint64_t{EntrySize(list)} * Counted(list);
    for (std::size_t i = 0; i < Counted(list); ++i) bytes += AreaBytes(list[i]);
  }
  void Fixed(std::uint32_t, std::uint8_t, const char*) {}

  std::uint64_t bytes = 0;

 private:
  template <typename Inner>
  static std::uint64_t AreaBytes(const Inner& inner) {
    AreaCounter<Inner> counter(inner);
    Layout<Inner>::Fields(counter);
    return counter.bytes;
  }

  const Record& record_;
};

// `record(i)` is the i-th of `count` records to write.
template <typename RecordAt>
std::uint64_t ImageSize(std::size_t count, const RecordAt& record) {
  std::uint64_t size = kProxyTableAt;
  for (std::size_t i = 0; i < count; ++i) {
    AreaCounter<ProxyServerSettings> areas(record(i));
    Layout<ProxyServerSettings>::Fields(areas);
    size += kProxyEntrySize + areas.bytes;
  }
  return size;
}

// Writes records at the places given and their lists' entries one area after another, at the next
// free place. A list's whole area is taken before its entries are written, so the lists inside
// the entries (an action's packets) follow behind it in entry order.
class ImageWriter {
 public:
  ImageWriter(std::span<std::uint8_t> image, std::uint32_t data_at) : out_(image), next_(data_at) {}

  template <typename Record>
  void Write(std::uint64_t at, const Record& record) {
    FieldWriter<Record> fields(*this, at, record);
    Layout<Record>::Fields(fields);
  }

  bool ok() const { return out_.ok(); }

 private:
  template <typename Record>
  class FieldWriter {
   public:
    FieldWriter(ImageWriter& writer, std::uint64_t at, const Record& record)
        : writer_(writer), out_(writer.out_), at_(at), record_(record) {}

    template <typename M>
    void U8(std::uint32_t offset, M member, const char*, Cap = {}) {
      out_.U8(at_ + offset, static_cast<std::uint8_t>(MemberOf(record_, member)));
    }
    template <typename M>
    void U16(std::uint32_t offset, M member, const char*, Cap = {}) {
      out_.U16(at_ + offset, MemberOf(record_, member));
    }
    template <typename M>
    void U32(std::uint32_t offset, M member, const char*, Cap = {}) {
      out_.U32(at_ + offset, MemberOf(record_, member));
    }
    template <typename M>
    void Bytes(std::uint32_t offset, M member, const char*) {
      out_.Bytes(at_ + offset, MemberOf(record_, member));
    }
    template <typename M>
    void Text(std::uint32_t offset, M member, const char*) {
      out_.Text(at_ + offset, MemberOf(record_, member), kMaxTextLength);
    }
    template <typename M>
    void Nested(std::uint32_t offset, M member, const char*) {
      writer_.Write(at_ + offset, MemberOf(record_, member));
    }
    // An empty list records where its area would begin.
    template <typename M>
    void List(std::uint32_t offset, M member, const char*) {
      const auto& list = MemberOf(record_, member);
      const std::uint32_t width = EntrySize(list);
      const std::uint32_t start = writer_.next_;
      const auto count = static_cast<std::uint32_t>(Counted(list));
      out_.U32(at_ + offset, start);
      out_.U32(at_ + offset + kListCountAt, count);
      writer_.next_ = start + count * width;
      for (std::uint32_t i = 0; i < count; ++i) writer_.Write(start + i * width, list[i]);
    }
    void Fixed(std::uint32_t offset, std::uint8_t value, const char*) {
      out_.U8(at_ + offset, value);
    }

   private:
    ImageWriter& writer_;
    LittleEndianWriter& out_;
    std::uint64_t at_;
    const Record& record_;
  };

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

// The field `name` within the entry at `place` (nullptr: the proxy entry itself).
std::string Spelled(const Place* place, const char* name) {
  return place ? Spelled(*place) + "." + name : std::string(name);
}

// Out of line on purpose: inlined, a string's assignment makes the reading of a host entry too
// long to be inlined into the loop over a list's entries, which then costs more than this call.
[[gnu::noinline]] void AssignText(std::string& text, std::string_view stored) {
  text = std::string(stored);
}

// Reads records, keeping the "ok" state of the checks: once a check failed, no further list is
// followed and nothing more is noted, and the record being read is dropped. With a report, it also
// notes each correction and the failed check; what is read does not depend on it.
class ImageReader {
 public:
  ImageReader(std::span<const std::uint8_t> image, ProfileReadReport* report)
      : in_(image), report_(report) {}

  const LittleEndianReader& in() const { return in_; }
  // The proxy table's bytes count against the file like the list areas.
  void CountProxyTable(std::uint64_t bytes) { referenced_ += bytes; }

  // Reads the record at `at`, which lies at `place` (nullptr: a record of its own).
  template <typename Record>
  void Read(std::uint64_t at, Record& record, const Place* place) {
    FieldReader<Record> fields(*this, at, record, place);
    Layout<Record>::Fields(fields);
    Amend(record, place);
  }

  // The proxy entry at `at`, the `index`-th of the file, with the writer's Id.
  std::optional<ProxyServerSettings> Proxy(std::uint32_t index, std::uint64_t at) {
    proxy_ = index;
    ProxyServerSettings s;
    Read(at, s, nullptr);
    if (!ok_) return std::nullopt;
    return s;
  }

  // Notes a check that ended the reading.
  void Failure(ProfileRule rule, std::uint64_t stored, std::uint64_t second = 0,
               std::string field = {}, std::optional<std::uint32_t> proxy = std::nullopt) {
    ok_ = false;
    if (!report_) return;
    report_->failure = ProfileReadNote{rule, proxy, std::move(field), stored, second};
  }

 private:
  template <typename Record>
  class FieldReader {
   public:
    FieldReader(ImageReader& reader, std::uint64_t at, Record& record, const Place* place)
        : reader_(reader), in_(reader.in_), at_(at), record_(record), place_(place) {}

    template <typename M>
    void U8(std::uint32_t offset, M member, const char* name, Cap cap = {}) {
      Take(MemberOf(record_, member), in_.U8(at_ + offset), name, cap);
    }
    template <typename M>
    void U16(std::uint32_t offset, M member, const char* name, Cap cap = {}) {
      Take(MemberOf(record_, member), in_.U16(at_ + offset), name, cap);
    }
    template <typename M>
    void U32(std::uint32_t offset, M member, const char* name, Cap cap = {}) {
      Take(MemberOf(record_, member), in_.U32(at_ + offset), name, cap);
    }
    template <typename M>
    void Bytes(std::uint32_t offset, M member, const char*) {
      in_.Bytes(at_ + offset, MemberOf(record_, member));
    }
    // The text ends at a zero byte, and at the latest after 96 characters.
    template <typename M>
    void Text(std::uint32_t offset, M member, const char* name) {
      std::string& text = MemberOf(record_, member);
      AssignText(text, in_.Text(at_ + offset, kMaxTextLength));
      if (reader_.report_ && text.size() == kMaxTextLength &&
          in_.U8(at_ + offset + kMaxTextLength) != 0) {
        reader_.Correction(ProfileRule::kTextCut, Spelled(place_, name), 0);
      }
    }
    template <typename M>
    void Nested(std::uint32_t offset, M member, const char* name) {
      const Place place{name, Place::kField, place_};
      reader_.Read(at_ + offset, MemberOf(record_, member), &place);
    }
    template <typename M>
    void List(std::uint32_t offset, M member, const char* name) {
      if (reader_.ok_) reader_.List(at_ + offset, MemberOf(record_, member), name, place_);
    }
    void Fixed(std::uint32_t, std::uint8_t, const char*) {}  // nothing to take

   private:
    template <typename T>
    void Take(T& value, std::uint32_t stored, const char* name, Cap cap) {
      if constexpr (std::is_same_v<T, bool>) {
        value = stored != 0;
      } else if constexpr (std::is_enum_v<T>) {
        value = static_cast<T>(stored);  // kept as stored, also when it names no value
      } else {
        value = static_cast<T>(std::min(stored, cap.max));
        if (reader_.report_ && stored > cap.max) {
          reader_.Correction(cap.rule, Spelled(place_, name), stored);
        }
      }
    }

    ImageReader& reader_;
    const LittleEndianReader& in_;
    std::uint64_t at_;
    Record& record_;
    const Place* place_;
  };

  // Checks the offset and count at `at` and reads the entries. A well-formed file gives every
  // entry bytes of its own, so the entries taken from one file never need more bytes than the
  // file has: a file whose areas overlap over and over is refused instead of taking memory and time
  // far beyond its size.
  template <typename Entry>
  void List(std::uint64_t at, std::vector<Entry>& list, const char* name, const Place* parent) {
    constexpr std::uint32_t width = Layout<Entry>::kSize;
    const std::uint32_t offset = in_.U32(at);
    const std::uint32_t count = in_.U32(at + kListCountAt);
    const std::uint64_t bytes = std::uint64_t{width} * count;
    if (!in_.Fits(offset, bytes) || count > kMaxListEntries) {
      if (count > kMaxListEntries) {
        Failure(ProfileRule::kListCountAbove1000, count, 0, Field(parent, name), proxy_);
      } else {
        Failure(ProfileRule::kListOutside, offset, count, Field(parent, name), proxy_);
      }
      return;
    }
    referenced_ += bytes;
    if (referenced_ > in_.size()) {
      Failure(ProfileRule::kListsOverlap, 0, 0, Field(parent, name), proxy_);
      return;
    }
    list.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) {
      const Place place{name, i, parent};
      Read(offset + std::uint64_t{width} * i, list[i], &place);
    }
  }

  // A failure names its field only in a report.
  std::string Field(const Place* parent, const char* name) const {
    return report_ ? Spelled(parent, name) : std::string();
  }

  // Rules for a whole entry, after its fields were read.
  template <typename Record>
  void Amend(Record&, const Place*) {}
  void Amend(PortRange& range, const Place* place) {
    if (range.Last < range.First) {
      if (report_) {
        Correction(ProfileRule::kPortRangeSwapped, Spelled(*place), range.First, range.Last);
        if (report_->keep_port_order) return;
      }
      std::swap(range.First, range.Last);
    }
  }

  void Correction(ProfileRule rule, std::string field, std::uint64_t stored,
                  std::uint64_t second = 0) {
    if (!ok_) return;  // the record is dropped
    if (report_->corrections.size() < ProfileReadReport::kMaxCorrections) {
      report_->corrections.push_back({rule, proxy_, std::move(field), stored, second});
    } else {
      ++report_->more_corrections;
    }
  }

  LittleEndianReader in_;
  ProfileReadReport* report_;
  bool ok_ = true;
  std::uint32_t proxy_ = 0;
  std::uint64_t referenced_ = 0;  // bytes of the proxy table and all list areas taken so far
};

template <typename RecordAt>
std::vector<std::uint8_t> WriteImage(std::size_t record_count, const RecordAt& record,
                                     std::uint32_t last_id, const StoredDisplayOptions& options,
                                     bool auto_start, const CalendarTime& written_at) {
  const std::uint64_t size = ImageSize(record_count, record);
  if (size > kMaxProfileSize) return {};
  std::vector<std::uint8_t> image(size);
  const auto count = static_cast<std::uint32_t>(record_count);
  ImageWriter writer(image, kProxyTableAt + count * kProxyEntrySize);
  writer.Write(0, ProfileHeader{profile_format::kVersion, profile_format::kVersion, kOptionsAt,
                                kProxyTableAt, count, written_at});
  writer.Write(kOptionsAt, ProgramOptions{options, last_id, auto_start});
  for (std::uint32_t i = 0; i < count; ++i) {
    writer.Write(kProxyTableAt + i * kProxyEntrySize, record(i));
  }
  if (!writer.ok()) return {};
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
  ProfileHeader header;
  reader.Read(0, header, nullptr);
  if (header.OptionsVersion != profile_format::kVersion) {
    reader.Failure(ProfileRule::kOptionsVersion, header.OptionsVersion);
    return false;
  }
  if (!in.Fits(header.OptionsAt, Layout<ProgramOptions>::kSize)) {
    reader.Failure(ProfileRule::kOptionsOutside, header.OptionsAt);
    return false;
  }
  ProgramOptions options;
  reader.Read(header.OptionsAt, options, nullptr);
  sink.TakeOptions(options);
  if (report) {
    report->options_read = true;
    report->last_id = options.LastId;
    report->auto_start = options.AutoStart;
    report->written_at = header.WrittenAt;
  }

  if (header.ProxyVersion != profile_format::kVersion) {
    reader.Failure(ProfileRule::kProxyVersion, header.ProxyVersion);
    return false;
  }
  const std::uint32_t count = header.ProxyCount;
  const std::uint32_t table_at = header.ProxyTableAt;
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
    std::optional<ProxyServerSettings> record = reader.Proxy(i, table_at + i * kProxyEntrySize);
    if (!record) return false;
    if (report) report->stored_ids.push_back(record->Id);
    record->Id = 0;  // the table gives its own at registration
    sink.TakeRecord(std::move(*record));
  }
  return true;
}

}  // namespace corvane
