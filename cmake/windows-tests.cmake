# The test programs of the Windows build, run under Wine by
# scripts/test-windows: the engine, chip, song-text and player test programs
# (those of their tests that need no shell or POSIX terminal), the timer
# library's tests, the Windows library binding's tests and its test DLL, the
# command-line launcher and the timer drift check. GoogleTest is built from
# the sources Debian ships.

set(OPL2_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(${OPL2_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

function(opl2_win_test name)
  add_executable(${name} ${ARGN})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE opl2all gtest gtest_main)
  target_compile_definitions(${name} PRIVATE OPL2_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data"
                                             OPL2_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
endfunction()

# Test files that run programs through a POSIX shell or use a POSIX
# terminal; scripts/test-windows checks the Windows programs themselves. (The
# chip's other code paths are still compared here, by the path equivalence
# test.)
set(OPL2_POSIX_TESTS
    tests/chip/every_path_test.cpp
    tests/chip/tool_chip_test.cpp
    tests/songtext/errors_test.cpp
    tests/songtext/examples_test.cpp
    tests/songtext/info_test.cpp)
list(TRANSFORM OPL2_POSIX_TESTS PREPEND ${CMAKE_SOURCE_DIR}/)

foreach(area engine chip songtext)
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${area}/*.cpp)
  list(REMOVE_ITEM srcs ${OPL2_POSIX_TESTS})
  opl2_win_test(test_${area} ${srcs})
endforeach()

opl2_win_test(test_player ${CMAKE_SOURCE_DIR}/tests/player/console_key_loop_test.cpp
              ${CMAKE_SOURCE_DIR}/tests/player/key_code_test.cpp
              ${CMAKE_SOURCE_DIR}/tests/player/key_decoder_test.cpp)

add_library(opl2_call_names SHARED ${CMAKE_SOURCE_DIR}/tests/windows/call_names_win32.cpp
                                   ${CMAKE_SOURCE_DIR}/tests/windows/call_names_win32.def)
set_target_properties(opl2_call_names PROPERTIES PREFIX "")
target_link_options(opl2_call_names PRIVATE -Wl,--kill-at)
opl2_win_test(test_timer ${CMAKE_SOURCE_DIR}/tests/timer/timer_library_test.cpp
              ${CMAKE_SOURCE_DIR}/tests/timer/library_call_cases.cpp
              ${CMAKE_SOURCE_DIR}/tests/windows/library_call_win32_test.cpp)
add_dependencies(test_timer x68sound opl2_call_names)

add_executable(launch ${CMAKE_SOURCE_DIR}/tests/windows/launch_win32.cpp)
add_executable(timer_drift ${CMAKE_SOURCE_DIR}/tests/windows/timer_drift_win32.cpp)
target_link_libraries(timer_drift PRIVATE opl2timer opl2bus)
add_dependencies(timer_drift x68sound)
