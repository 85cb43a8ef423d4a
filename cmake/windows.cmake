# The Windows build (MinGW-w64, see scripts/build-windows): opl2play.exe,
# opl2tool.exe and X68Sound.dll, and the test programs that run under Wine.
#
# The engine, chip, song-text and VGM code is the same as on Linux. Platform
# code comes in pairs: a file named NAME_win32.cpp is the Windows sibling of
# a POSIX file; the Linux build leaves every *_win32.cpp out, and this build
# leaves out the POSIX files listed in OPL2_POSIX_ONLY. SDL2, libsndfile and
# libsoxr do not exist here: sound goes out through WinMM's waveOut, and
# opl2tool's commands that need the two libraries say so.

find_package(Threads REQUIRED)

# MinGW's GCC 12 warns of overlapping copies inside std::string's own
# operator+ once it inlines it for 32-bit targets (a known false alarm of
# GCC 12's -Wrestrict); the code it points at is plain string building.
add_compile_options(-Wno-restrict)
# The release programs carry no symbols.
add_link_options($<$<CONFIG:Release>:-s>)

set(OPL2_POSIX_ONLY
    src/song/song_file_reader.cpp
    src/songtext/file_io.cpp
    src/player/command_line.cpp
    src/player/console_key_reader.cpp
    src/player/file_exists.cpp
    src/player/hardware_port.cpp
    src/player/key_wait_stop.cpp
    src/player/raw_terminal.cpp
    src/player/run_player.cpp
    src/timer/library_call.cpp
    src/timer/library_name.cpp
    src/audio/audio_file_writer.cpp
    src/audio/live_output_sdl.cpp
    timerlib/exports.cpp
    timerlib/monotonic.cpp
    tools/opl2tool/cmd_keys.cpp
    tools/opl2tool/cmd_render.cpp
    tools/opl2tool/tool_platform.cpp)
list(TRANSFORM OPL2_POSIX_ONLY PREPEND ${CMAKE_SOURCE_DIR}/)

function(opl2_win_sources out)
  file(GLOB srcs CONFIGURE_DEPENDS ${ARGN})
  list(REMOVE_ITEM srcs ${OPL2_POSIX_ONLY})
  set(${out} ${srcs} PARENT_SCOPE)
endfunction()

function(opl2_win_library name)
  opl2_win_sources(srcs ${ARGN})
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
endfunction()

opl2_win_library(opl2engine src/song/*.cpp src/sequencer/*.cpp src/opl/*.cpp)
opl2_win_library(opl2chip src/chip/*.cpp)
opl2_win_library(opl2songtext src/songtext/*.cpp)
target_link_libraries(opl2songtext PUBLIC opl2engine)
opl2_win_library(opl2audio src/audio/*.cpp)
target_link_libraries(opl2audio PUBLIC opl2engine opl2chip winmm Threads::Threads)
opl2_win_library(opl2vgm src/vgm/*.cpp)
target_link_libraries(opl2vgm PUBLIC opl2audio)
opl2_win_library(opl2timer src/timer/*.cpp)
target_link_libraries(opl2timer PUBLIC opl2engine)
opl2_win_library(opl2player src/player/*.cpp)
target_link_libraries(opl2player PUBLIC opl2engine opl2chip opl2timer opl2audio opl2songtext
                                        opl2vgm)

# X68Sound.dll: the timer library, its routines exported under their plain
# names (--kill-at drops the @N of __stdcall).
opl2_win_sources(timerlib_srcs timerlib/*.cpp)
add_library(x68sound SHARED ${timerlib_srcs})
set_target_properties(x68sound PROPERTIES OUTPUT_NAME X68Sound PREFIX "")
target_link_libraries(x68sound PRIVATE winmm Threads::Threads)
target_link_options(x68sound PRIVATE -Wl,--kill-at)

add_executable(opl2play tools/opl2play/main.cpp)
target_link_libraries(opl2play PRIVATE opl2player)

opl2_win_sources(opl2tool_srcs tools/opl2tool/*.cpp)
add_executable(opl2tool ${opl2tool_srcs})
target_link_libraries(opl2tool PRIVATE opl2player)

if(OPL2_WINDOWS_TESTS)
  include(${CMAKE_CURRENT_LIST_DIR}/windows-tests.cmake)
endif()

# The three programs and a short README, zipped.
set(OPL2_ZIP ${CMAKE_BINARY_DIR}/opl2play-win32.zip)
set(OPL2_ZIP_DIR ${CMAKE_BINARY_DIR}/zip/opl2play)
add_custom_command(
  OUTPUT ${OPL2_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_BINARY_DIR}/zip
  COMMAND ${CMAKE_COMMAND} -E make_directory ${OPL2_ZIP_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:opl2play> $<TARGET_FILE:opl2tool>
          $<TARGET_FILE:x68sound> ${OPL2_ZIP_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/packaging/README-windows.txt
          ${OPL2_ZIP_DIR}/README.txt
  COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_BINARY_DIR}/zip ${CMAKE_COMMAND} -E tar cf ${OPL2_ZIP}
          --format=zip opl2play/README.txt opl2play/X68Sound.dll opl2play/opl2play.exe
          opl2play/opl2tool.exe
  DEPENDS opl2play opl2tool x68sound ${CMAKE_SOURCE_DIR}/packaging/README-windows.txt
  COMMENT "Packing ${OPL2_ZIP}"
  VERBATIM)
add_custom_target(opl2play_zip DEPENDS ${OPL2_ZIP})
