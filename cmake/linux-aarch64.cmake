# Cross build of the Linux program with Debian's g++-aarch64-linux-gnu; the
# result runs here through qemu-user.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(TARSEL_TRIPLET aarch64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
