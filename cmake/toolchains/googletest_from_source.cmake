# GoogleTest for a cross build, which has no GoogleTest package for its target:
# built from the source that Debian's libgtest-dev ships (PAK_GTEST_SOURCE).
set(PAK_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's source tree")
if(NOT EXISTS ${PAK_GTEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "No GoogleTest source in ${PAK_GTEST_SOURCE} (Debian: libgtest-dev)")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${PAK_GTEST_SOURCE} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# Its own sources don't build clean under our warning flags; they aren't ours.
foreach(target gtest gtest_main)
    target_compile_options(${target} PRIVATE -w)
    add_library(GTest::${target} ALIAS ${target})
endforeach()
