# Cross build for Debian armhf (32-bit ARM boards): scripts/package.sh armhf, scripts/cross_test.sh.
set(CORVANE_CROSS_ARCH armhf)
set(CORVANE_CROSS_TRIPLET arm-linux-gnueabihf)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CORVANE_CROSS_QEMU qemu-arm-static)
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
