# Cross build of the 32-bit Linux program with Debian's g++-i686-linux-gnu;
# the result runs here natively, or through qemu-user where the kernel does
# not run 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TARSEL_TRIPLET i686-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
