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
# 32-bit Windows: GoogleTest that never starts the watcher thread of its
# thread-local storage. Where a kernel runs no 32-bit x86 program, Wine runs
# these tests under qemu-user, which keeps one set of thread-area segment
# descriptors for the whole process: once a second thread exists, a reload
# of %fs (Wine does one while dispatching an exception, such as the one
# OutputDebugStringA raises) finds that thread's TEB, and the test program
# ends in "stack smashing detected". GoogleTest starts that thread on Windows
# at the first SCOPED_TRACE or result message, to free a thread's values when
# it ends. No test starts threads of its own, so without it nothing is lost.
# (Thread safety off would drop it too, but GoogleTest's Windows death tests
# don't build without it.) The build reads a copy of gtest-port.cc with that
# one call taken out, found ahead of the original through the include path
# (gtest-all.cc includes it as "src/gtest-port.cc"); the programs themselves
# are built as always.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(port_source ${PAK_GTEST_SOURCE}/googletest/src/gtest-port.cc)
    set(watcher_call "StartWatcherThreadFor(current_thread);")
    file(READ ${port_source} port)
    string(REPLACE "${watcher_call}" "// (no watcher thread: see googletest_from_source.cmake)" patched "${port}")
    if(patched STREQUAL port)
        message(FATAL_ERROR "${port_source} has no '${watcher_call}' to take out: look again at this GoogleTest")
    endif()
    set(patched_dir ${PROJECT_BINARY_DIR}/googletest-no-watcher)
    file(WRITE ${patched_dir}/gtest-port.cc.new "${patched}")
    configure_file(${patched_dir}/gtest-port.cc.new ${patched_dir}/src/gtest-port.cc COPYONLY)
    target_include_directories(gtest BEFORE PRIVATE ${patched_dir})
endif()
