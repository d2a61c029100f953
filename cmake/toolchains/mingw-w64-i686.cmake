# 32-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-i686). The executables
# are large-address-aware, so they may use 4 GiB on 64-bit Windows.
set(PAK_MINGW_TRIPLE i686-w64-mingw32)
set(PAK_MINGW_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -Wl,--large-address-aware")
