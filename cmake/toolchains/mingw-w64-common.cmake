# What both MinGW-w64 toolchains share: the posix thread model (GoogleTest
# needs std::thread and std::mutex), static C and C++ runtimes so that the
# executables need no DLL beside them, and the tests run through Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${PAK_MINGW_PROCESSOR})

set(CMAKE_C_COMPILER ${PAK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PAK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PAK_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PAK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests run under Wine, started with the loader each program's header asks
# for (tools/wine.sh says why not Debian's `wine` launcher).
get_filename_component(PAK_WINE_START ${CMAKE_CURRENT_LIST_DIR}/../../tools/wine.sh ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${PAK_WINE_START})
