# What the toolchain files of the cross builds share (cmake/toolchain-ARCH.cmake set
# CORVANE_CROSS_ARCH, CORVANE_CROSS_TRIPLET, CMAKE_SYSTEM_PROCESSOR and CORVANE_CROSS_QEMU first):
# Debian's cross compiler (crossbuild-essential-ARCH), the libraries of that architecture
# installed through multiarch (scripts/deps.sh cross-ARCH), found in /usr/lib/TRIPLET through
# CMAKE_LIBRARY_ARCHITECTURE, and qemu-user as CTest's emulator, with -L / for the architecture's
# dynamic loader and libraries.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${CORVANE_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${CORVANE_CROSS_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${CORVANE_CROSS_TRIPLET})
# pkg-config finds the architecture's .pc files and the architecture-independent ones only.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${CORVANE_CROSS_TRIPLET}/pkgconfig:/usr/share/pkgconfig)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CORVANE_CROSS_QEMU} -L /)
set(CORVANE_DEB_ARCHITECTURE ${CORVANE_CROSS_ARCH} CACHE STRING "Debian architecture of the packages")
# GCC notes that 32-bit ARM passes some arguments differently since GCC 7.1: nothing to act on,
# since every object of the program is built by the same compiler.
set(CMAKE_CXX_FLAGS_INIT "-Wno-psabi")
