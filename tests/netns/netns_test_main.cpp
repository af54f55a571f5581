// The namespace tests run inside a private network namespace (see run_in_netns.sh). They refuse to
// run anywhere else, so that nothing they do can reach the host's real network.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/host_lookup.h"

namespace {

bool InPrivateNamespace() {
  // The host's namespace has interfaces besides loopback; a fresh one has only "lo".
  std::ifstream devices("/proc/net/dev");
  std::string line;
  int interfaces = 0;
  bool loopback = false;
  for (int row = 0; std::getline(devices, line); ++row) {
    if (row < 2) continue;  // two header lines
    ++interfaces;
    if (line.find("lo:") != std::string::npos) loopback = true;
  }
  return std::getenv("CORVANE_NETNS") != nullptr && loopback && interfaces == 1;
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!InPrivateNamespace()) {
    std::fprintf(stderr, "refusing to run: not inside a fresh network namespace of the tests\n");
    return 1;
  }
  // As the programs do at start-up.
  corvane::LoadAddressInfoEntryPoints();
  return RUN_ALL_TESTS();
}
