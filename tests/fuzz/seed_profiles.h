// The writer-made profiles that seed the fuzzers; the profile tool's round-trip tests use them too.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace corvane::test {

// Name and image of each seed, stamped with one fixed time of writing.
std::vector<std::pair<std::string, std::vector<std::uint8_t>>> SeedProfiles();

}  // namespace corvane::test
