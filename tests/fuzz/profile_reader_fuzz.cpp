// Fuzzes the profile readers: any input must be read without a crash, an over-read or a hang, and
// whatever a reader accepts must survive a write and a second read unchanged.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "config/profile_file.h"

namespace {

class Collected final : public corvane::ProfileImageSink {
 public:
  void TakeOptions(const corvane::StoredDisplayOptions&) override {}
  void TakeRecord(corvane::ProxyServerSettings record) override {
    records.push_back(std::move(record));
  }
  std::vector<corvane::ProxyServerSettings> records;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Collected first;
  corvane::ReadProfileImage({data, size}, first);

  corvane::ProxyServerTable table;
  for (corvane::ProxyServerSettings& record : first.records) {
    if (table.Register(record) == 0) __builtin_trap();
    record.Id = table.last_id();
  }
  const std::vector<std::uint8_t> image =
      corvane::WriteProfileImage(table, {}, false, corvane::CalendarTime{});
  Collected second;
  if (!corvane::ReadProfileImage(image, second)) __builtin_trap();
  if (second.records.size() != first.records.size()) __builtin_trap();
  for (std::size_t i = 0; i < first.records.size(); ++i) {
    second.records[i].Id = first.records[i].Id;
    if (!(second.records[i] == first.records[i])) __builtin_trap();
  }
  return 0;
}
