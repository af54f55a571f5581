# Cross build for Debian armhf with Debian's cross compiler (crossbuild-essential-armhf) and the
# armhf libraries installed through multiarch (scripts/deps.sh cross-armhf). Programs built here
# run on this machine under qemu-user (qemu-arm-static), which CTest uses as the emulator.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)
# Multiarch: the libraries are found in /usr/lib/arm-linux-gnueabihf by CMAKE_LIBRARY_ARCHITECTURE.
# pkg-config finds the armhf .pc files and the architecture-independent ones, never the host's.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/arm-linux-gnueabihf/pkgconfig:/usr/share/pkgconfig)
# -L: the armhf dynamic loader and libraries are under / through multiarch.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm-static -L /)
set(CORVANE_DEB_ARCHITECTURE armhf CACHE STRING "Debian architecture of the packages")
