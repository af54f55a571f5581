// Writes the fuzzers' seed corpora: profile images made by the writer into <folder>, and, with a
// second folder, their JSON exports and the documented example into it.
#include <cstdio>
#include <string>

#include "cli/profile_json.h"
#include "tests/fuzz/seed_profiles.h"

int main(int argc, char** argv) {
  using namespace corvane;
  if (argc != 2 && argc != 4) {
    std::fprintf(stderr, "usage: %s <profile corpus> [<json corpus> <example json>]\n", argv[0]);
    return 2;
  }
  int status = 0;
  const auto write = [&](const std::string& path, std::span<const std::uint8_t> bytes) {
    if (WriteFileReplacing(path, bytes, 0644)) {
      std::fprintf(stderr, "cannot write the seed %s\n", path.c_str());
      status = 1;
    }
  };
  for (const auto& [name, image] : test::SeedProfiles()) {
    write(std::string(argv[1]) + "/" + name, image);
    if (argc != 4) continue;
    const std::string path = std::string(argv[1]) + "/" + name;
    const LoadedProfile loaded = LoadProfileDocument(path);
    const std::string json = ExportProfileJson(loaded.document).text;
    write(std::string(argv[2]) + "/" + name + ".json",
          {reinterpret_cast<const std::uint8_t*>(json.data()), json.size()});
  }
  if (argc == 4) {
    const auto example = ReadWholeFile(argv[3], kMaxJsonSize);
    if (example) write(std::string(argv[2]) + "/example.json", *example);
  }
  return status;
}
