# Cross-build for 64-bit Windows with Debian's MinGW-w64: its headers, C
# runtime and C++ library (the posix thread model, which has std::thread),
# compiled by clang and linked by lld. MinGW-w64's GCC knows only emulated
# thread-local storage, a function call at every touch of the search's
# per-thread state (the programs ran at a fifth of their speed); clang uses
# Windows' own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_CXX_COMPILER_TARGET x86_64-w64-mingw32)
set(MINGW_ROOT /usr/x86_64-w64-mingw32)
set(MINGW_GCC /usr/lib/gcc/x86_64-w64-mingw32/12-posix)
set(CMAKE_CXX_FLAGS_INIT "--sysroot=${MINGW_ROOT} -nostdinc++ -isystem ${MINGW_GCC}/include/c++ \
-isystem ${MINGW_GCC}/include/c++/x86_64-w64-mingw32 -isystem ${MINGW_GCC}/include/c++/backward")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-pthread -L${MINGW_GCC} -fuse-ld=lld -Qunused-arguments")
set(CMAKE_AR x86_64-w64-mingw32-ar)
set(CMAKE_RANLIB x86_64-w64-mingw32-ranlib)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH ${MINGW_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
