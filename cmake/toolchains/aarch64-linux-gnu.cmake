# Cross build for 64-bit ARM boards (arm64) with Debian's g++-aarch64-linux-gnu,
# the tests run under qemu-aarch64:
#   cmake -S . -B build-aarch64 -G Ninja --toolchain cmake/toolchains/aarch64-linux-gnu.cmake
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(TMODE_CROSS_TRIPLET aarch64-linux-gnu)
set(TMODE_CROSS_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
