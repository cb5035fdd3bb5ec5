# Cross build of the Linux program with Debian's g++-s390x-linux-gnu; the
# result runs here through qemu-user.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(TARSEL_TRIPLET s390x-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
