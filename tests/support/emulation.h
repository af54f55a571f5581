// Whether the tests run under qemu-user, as the cross builds' tests do (CTest sets
// CORVANE_UNDER_QEMU there, and only there). A test that needs a system call qemu-user does not
// translate skips itself with GTEST_SKIP_UNDER_QEMU(reason).
#pragma once

#include <cstdlib>
#include <cstring>

namespace corvane::test {

inline bool UnderQemu() {
  const char* value = std::getenv("CORVANE_UNDER_QEMU");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

}  // namespace corvane::test

#define GTEST_SKIP_UNDER_QEMU(reason) \
  if (::corvane::test::UnderQemu()) GTEST_SKIP() << "under qemu-user: " << reason
