# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 compilers (the
# posix thread model, which std::thread needs). Used by the `windows` preset.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(GRIDMINT_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${GRIDMINT_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${GRIDMINT_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${GRIDMINT_MINGW_TRIPLET}-windres)

# Headers and libraries for the target come from the MinGW tree only (zlib
# from libz-mingw-w64-dev lives there); programs from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${GRIDMINT_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config sees the target's .pc files only, never the build machine's.
set(ENV{PKG_CONFIG_LIBDIR} /usr/${GRIDMINT_MINGW_TRIPLET}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# Self-contained executables: the C++ runtime, winpthreads, zlib and libpng
# are linked in, so a program runs without MinGW's DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(ZLIB_USE_STATIC_LIBS ON)
