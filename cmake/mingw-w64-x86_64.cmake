# Cross-compiling for 64-bit Windows with MinGW-w64. The -posix compilers are
# required: JUCE's threading needs std::mutex, which the -win32 variant lacks.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER   x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  x86_64-w64-mingw32-windres)

# Static libraries built for Windows by scripts/build-windows-deps.sh.
set(TSR_WINDOWS_DEPS "/var/cache/tsr_installer/mingw-deps" CACHE PATH "Prefix of the cross-built libpng and libjpeg")

set(TSR_MINGW_SYSROOT /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH ${TSR_MINGW_SYSROOT} ${TSR_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
