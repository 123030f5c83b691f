# The part the toolchain files beside it share: Debian's cross compiler for
# TMODE_CROSS_TRIPLET, the target's C and C++ runtime under /usr/<triplet> as
# the target's root, and qemu-user (TMODE_CROSS_QEMU) to run the target's
# programs, the tests among them, on this machine.
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${TMODE_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${TMODE_CROSS_TRIPLET}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${TMODE_CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${TMODE_CROSS_QEMU} -L /usr/${TMODE_CROSS_TRIPLET})
