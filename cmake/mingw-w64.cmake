# Cross-compiling for 64-bit Windows with mingw-w64 (Debian: g++-mingw-w64-x86-64).
#
#   cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
#
# The executables are linked statically (C and C++ runtimes included), so that they run on a
# bare Windows with nothing but its system DLLs. Built programs run under wine when it is
# installed (ctest uses it as the emulator).
#
# KV_MINGW_THREADS chooses the compiler variant: "posix" (the default) or "win32". GCC 12's
# win32 variant has no std::mutex or std::condition_variable, which GoogleTest needs; the
# posix one has them through winpthreads, linked in statically like the rest.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KV_MINGW_TRIPLET x86_64-w64-mingw32)
if(NOT DEFINED KV_MINGW_THREADS)
  set(KV_MINGW_THREADS "$ENV{KV_MINGW_THREADS}")
endif()
if(NOT KV_MINGW_THREADS)
  set(KV_MINGW_THREADS posix)
endif()
# Passed on to the try_compile projects that CMake configures with this file.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KV_MINGW_THREADS)

find_program(CMAKE_C_COMPILER NAMES ${KV_MINGW_TRIPLET}-gcc-${KV_MINGW_THREADS} REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${KV_MINGW_TRIPLET}-g++-${KV_MINGW_THREADS} REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${KV_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KV_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No libgcc, libstdc++ or libwinpthread DLL to ship beside the .exe.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(KV_WINE NAMES wine wine64)
if(KV_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KV_WINE})
endif()
