# Cross-build for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64-posix).
#
#     cmake -S . -B build/windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-w64-mingw32.cmake
#
# The posix thread model of the compiler is used: the engine uses std::mutex,
# which the win32 model of g++ 12 does not have. Programs are linked statically
# (libstdc++, libgcc, winpthread), so that they need no DLL beyond Windows' own.
# Programs built here run under Wine (scripts/wine-run), which CTest uses for
# every test of the build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(q5_mingw_triple x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${q5_mingw_triple}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${q5_mingw_triple}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${q5_mingw_triple}-windres)
find_program(CMAKE_OBJDUMP NAMES ${q5_mingw_triple}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${q5_mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
