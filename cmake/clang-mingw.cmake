# Debian's Clang and lld for a MinGW-w64 target, with the MinGW-w64 runtime and the libstdc++ of
# Debian's posix MinGW-w64 GCC (Clang 14 does not find that libstdc++ by itself).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${QUENLIT_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${QUENLIT_TRIPLE})
set(CMAKE_RC_COMPILER ${QUENLIT_TRIPLE}-windres)
set(CMAKE_SYSROOT /usr/${QUENLIT_TRIPLE})
file(GLOB QUENLIT_GCC_DIR /usr/lib/gcc/${QUENLIT_TRIPLE}/*-posix)
set(CMAKE_CXX_FLAGS_INIT "-isystem ${QUENLIT_GCC_DIR}/include/c++ -isystem ${QUENLIT_GCC_DIR}/include/c++/${QUENLIT_TRIPLE} -isystem ${QUENLIT_GCC_DIR}/include/c++/backward")
# The posix libstdc++ needs the winpthread library, which only GCC's driver adds by itself.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -L${QUENLIT_GCC_DIR} -lpthread")
set(CMAKE_FIND_ROOT_PATH /usr/${QUENLIT_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
