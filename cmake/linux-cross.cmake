# What the cross builds of the Linux program share: Debian's cross compiler
# for TARSEL_TRIPLET, with that machine's own libraries and headers only.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${TARSEL_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${TARSEL_TRIPLET}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${TARSEL_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
