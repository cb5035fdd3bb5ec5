# Cross build of the 32-bit ARM Linux program (Debian's armhf: ARMv7,
# hard-float) with Debian's g++-arm-linux-gnueabihf; the result runs here
# through qemu-user.
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(TARSEL_TRIPLET arm-linux-gnueabihf)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
