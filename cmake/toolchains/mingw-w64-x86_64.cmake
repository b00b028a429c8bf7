# Cross-builds for 64-bit Windows with Debian's mingw-w64 compilers:
#
#     cmake -S . -B out/windows/build -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake
#
# (scripts/build-windows does this with everything the build needs.)  The posix
# thread model, since JUCE's headers need std::mutex and std::thread.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ULK_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ULK_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ULK_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ULK_MINGW_TRIPLET}-windres)

# Headers and libraries come from the mingw-w64 tree only; programs run on
# the build machine.  What else the build needs (JUCE, the image libraries,
# GoogleTest) it is given by path.
set(CMAKE_FIND_ROOT_PATH /usr/${ULK_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
