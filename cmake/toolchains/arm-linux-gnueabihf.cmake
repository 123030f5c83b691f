# Cross build for 32-bit ARM boards with hardware floating point (armhf) with
# Debian's g++-arm-linux-gnueabihf, the tests run under qemu-arm:
#   cmake -S . -B build-armhf -G Ninja --toolchain cmake/toolchains/arm-linux-gnueabihf.cmake
set(CMAKE_SYSTEM_PROCESSOR arm)
set(TMODE_CROSS_TRIPLET arm-linux-gnueabihf)
set(TMODE_CROSS_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
