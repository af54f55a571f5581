#include "config/profile_file.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>

namespace corvane {
namespace {

bool LoadInto(const std::optional<std::string>& path, ProfileImageSink& sink) {
  if (!path) return false;
  const std::optional<std::vector<std::uint8_t>> image = ReadWholeFile(*path, kMaxProfileSize);
  return image && ReadProfileImage(*image, sink);
}

}  // namespace

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
  return !WriteProfileFile(ProfileImage(table, options, auto_start));
}

std::vector<std::uint8_t> ProfileImage(const ProxyServerTable& table, const DisplayOptions& options,
                                       bool auto_start) {
  return WriteProfileImage(table, Snapshot(options), auto_start, CurrentUtcTime());
}

std::error_code WriteProfileFile(std::span<const std::uint8_t> image) {
  if (image.empty()) return std::make_error_code(std::errc::file_too_large);
  const std::optional<std::string> path = ProfilePath();
  if (!path) return std::make_error_code(std::errc::filename_too_long);
  return WriteFileReplacing(*path, image);
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
