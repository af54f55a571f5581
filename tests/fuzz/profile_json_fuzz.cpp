// Fuzzes the profile tool's JSON import: any text must be refused or taken without a crash, an
// over-read or a hang; whatever is taken must export and import again to the same profile, and the
// file written from it must read back as that profile, with no correction beyond the ascending
// order of reversed port ranges.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "cli/profile_json.h"

namespace {

class Collected final : public corvane::ProfileImageSink {
 public:
  void TakeOptions(const corvane::StoredDisplayOptions& stored) override { options = stored; }
  void TakeRecord(corvane::ProxyServerSettings record) override {
    records.push_back(std::move(record));
  }
  corvane::StoredDisplayOptions options;
  std::vector<corvane::ProxyServerSettings> records;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const corvane::ImportedJson first =
      corvane::ImportProfileJson({reinterpret_cast<const char*>(data), size});
  if (!first.problems.empty()) return 0;
  const corvane::ProfileDocument& document = first.document;
  const corvane::ExportedJson exported = corvane::ExportProfileJson(document);
  if (!exported.problems.empty()) __builtin_trap();  // import takes UTF-8 text only
  const corvane::ImportedJson second = corvane::ImportProfileJson(exported.text);
  if (!second.problems.empty() || !(second.document == document)) __builtin_trap();

  const std::vector<std::uint8_t> image = corvane::WriteProfileDocument(document, {});
  if (image.empty()) return 0;  // larger than a reader takes
  Collected read;
  corvane::ProfileReadReport report;
  report.keep_port_order = true;  // a reversed range is kept as entered, as the window does
  if (!corvane::ReadProfileImage(image, read, &report)) __builtin_trap();
  for (const corvane::ProfileReadNote& note : report.corrections) {
    if (note.rule != corvane::ProfileRule::kPortRangeSwapped) __builtin_trap();
  }
  if (report.last_id != document.LastId || report.auto_start != document.AutoStart ||
      read.records.size() != document.Records.size()) {
    __builtin_trap();
  }
  for (std::size_t i = 0; i < read.records.size(); ++i) {
    read.records[i].Id = report.stored_ids[i];
    if (!(read.records[i] == document.Records[i])) __builtin_trap();
  }
  return 0;
}
