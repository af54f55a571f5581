#include "cli/profile_document.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace corvane {
namespace {

class DocumentSink final : public ProfileImageSink {
 public:
  explicit DocumentSink(ProfileDocument& document) : document_(document) {}
  void TakeOptions(const StoredDisplayOptions& options) override { document_.Options = options; }
  void TakeRecord(ProxyServerSettings record) override {
    document_.Records.push_back(std::move(record));
  }

 private:
  ProfileDocument& document_;
};

}  // namespace

LoadedProfile LoadProfileDocument(const std::string& path) {
  LoadedProfile loaded;
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    loaded.error = std::strerror(errno);
    return loaded;
  }
  if (!S_ISREG(info.st_mode)) {
    loaded.error = "not a regular file";
    return loaded;
  }
  if (static_cast<std::uint64_t>(info.st_size) > kMaxProfileSize) {
    loaded.error = "larger than 64 MiB";
    return loaded;
  }
  errno = 0;
  const std::optional<std::vector<std::uint8_t>> image = ReadWholeFile(path, kMaxProfileSize);
  if (!image) {
    loaded.error = errno != 0 ? std::strerror(errno) : "could not be read";
    return loaded;
  }
  loaded.report.keep_port_order = true;
  DocumentSink sink(loaded.document);
  loaded.passed = ReadProfileImage(*image, sink, &loaded.report);
  loaded.document.AutoStart = loaded.report.auto_start;
  loaded.document.LastId = loaded.report.last_id;
  for (std::size_t i = 0; i < loaded.document.Records.size(); ++i) {
    loaded.document.Records[i].Id = loaded.report.stored_ids[i];
  }
  return loaded;
}

std::vector<std::uint8_t> WriteProfileDocument(const ProfileDocument& document,
                                               const CalendarTime& written_at) {
  return WriteProfileImage(document.Records, document.LastId, document.Options, document.AutoStart,
                           written_at);
}

}  // namespace corvane
