// The real CorvaneService program, started the ways systemd would not start it.
#include <gtest/gtest.h>

#include "tests/support/child_process.h"
#include "tests/support/emulation.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

TEST(ServiceProgram, StartedByHandItExitsAtOnceAndSilently) {
  GTEST_SKIP_UNDER_QEMU("the kernel starts an ARM program only through binfmt_misc, which is off");
  for (const char* notify :
       {"NOTIFY_SOCKET", "NOTIFY_SOCKET=", "NOTIFY_SOCKET=relative", "NOTIFY_SOCKET=@"}) {
    test::ChildProcess service(CORVANE_SERVICE_BINARY, {notify});
    EXPECT_EQ(service.Wait(5s), 0) << notify;
    EXPECT_EQ(service.Output(), "") << notify;
  }
}

}  // namespace
}  // namespace corvane
