#include "desktop/profile_transfer.h"

namespace corvane::desktop {

bool ExportProfile(const std::string& path, const ProxyServerTable& table,
                   const DisplayOptions& options, bool auto_start) {
  const std::vector<std::uint8_t> image =
      WriteProfileImage(table, Snapshot(options), auto_start, CurrentUtcTime());
  return !image.empty() && !WriteFileReplacing(path, image);
}

std::optional<ImportedProfile> ReadProfileCopy(const std::string& path) {
  class Collector final : public ProfileImageSink {
   public:
    explicit Collector(ImportedProfile& profile) : profile_(profile) {}
    void TakeOptions(const StoredDisplayOptions& options) override { profile_.options = options; }
    void TakeRecord(ProxyServerSettings record) override {
      if (profile_.records.size() < ProxyServerTable::kCapacity) {
        profile_.records.push_back(std::move(record));
      }
    }

   private:
    ImportedProfile& profile_;
  };
  const std::optional<std::vector<std::uint8_t>> image = ReadWholeFile(path, kMaxProfileSize);
  if (!image) return std::nullopt;
  ImportedProfile profile;
  Collector collector(profile);
  if (!ReadProfileImage(*image, collector)) return std::nullopt;
  return profile;
}

}  // namespace corvane::desktop
