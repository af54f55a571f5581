# Cross build for Debian arm64 with Debian's cross compiler (crossbuild-essential-arm64) and the
# arm64 libraries installed through multiarch (scripts/deps.sh cross-arm64). Programs built here
# run on this machine under qemu-user (qemu-aarch64-static), which CTest uses as the emulator.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
# Multiarch: the libraries are found in /usr/lib/aarch64-linux-gnu by CMAKE_LIBRARY_ARCHITECTURE.
# pkg-config finds the arm64 .pc files and the architecture-independent ones, never the host's.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
# -L: the arm64 dynamic loader and libraries are under / through multiarch.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static -L /)
set(CORVANE_DEB_ARCHITECTURE arm64 CACHE STRING "Debian architecture of the packages")
