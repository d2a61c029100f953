# 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64).
set(PAK_MINGW_TRIPLE x86_64-w64-mingw32)
set(PAK_MINGW_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
