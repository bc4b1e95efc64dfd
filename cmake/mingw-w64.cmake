# Cross build for 64-bit Windows with Debian's mingw-w64 (posix threads), tested under Wine:
#   cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=Release \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(LEDRA_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${LEDRA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LEDRA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${LEDRA_MINGW_PREFIX}-windres)

# Headers and libraries come from the mingw-w64 sysroot only; programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${LEDRA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# printf and friends follow C99 rather than the old msvcrt formats (%lld, %zu).
add_compile_definitions(__USE_MINGW_ANSI_STDIO=1)

# A static link leaves no runtime DLLs (libstdc++, libgcc, winpthread) to ship beside the
# program or to put on Wine's path.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# The program handed to users carries no symbol table (more than half its size).
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
set(CMAKE_EXE_LINKER_FLAGS_MINSIZEREL_INIT "-s")

# try_run and test discovery run Windows programs through Wine.
find_program(LEDRA_WINE wine)
if(LEDRA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${LEDRA_WINE})
endif()
