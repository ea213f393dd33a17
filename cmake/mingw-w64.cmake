# Cross-building the Windows programs on Debian with mingw-w64 (the -posix
# compilers, which have std::thread). CTest runs what it builds under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOLK_MINGW x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${TOLK_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOLK_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${TOLK_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TOLK_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No DLL beside the programs: the C++ and thread runtimes go into each one.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Wine in a prefix of the build's own, quiet; see the script.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run)
