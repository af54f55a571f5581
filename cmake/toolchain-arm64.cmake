# Cross build for Debian arm64 (64-bit ARM boards): scripts/package.sh arm64, scripts/cross_test.sh.
set(CORVANE_CROSS_ARCH arm64)
set(CORVANE_CROSS_TRIPLET aarch64-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CORVANE_CROSS_QEMU qemu-aarch64-static)
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
