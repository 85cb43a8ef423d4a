# The Windows build (MinGW-w64, see scripts/build-windows): opl2play.exe,
# opl2tool.exe and X68Sound.dll, and the test programs that run under Wine.
#
# Included by the top CMakeLists before the libraries are made: it names the
# POSIX files this build leaves out (their *_win32.cpp siblings stand in) and
# the system libraries it links. SDL2, libsndfile and libsoxr do not exist
# here: sound goes out through WinMM's waveOut, and opl2tool's render (the two
# libraries) and play (SDL2 and a POSIX terminal) say so. opl2_windows_targets() adds the rest once
# the programs exist.

find_package(Threads REQUIRED)

# MinGW's GCC 12 warns of overlapping copies inside std::string's own
# operator+ once it inlines it for 32-bit targets (a known false alarm of
# GCC 12's -Wrestrict); the code it points at is plain string building.
add_compile_options(-Wno-restrict)
# The release programs carry no symbols.
add_link_options($<$<CONFIG:Release>:-s>)

set(OPL2_POSIX_ONLY
    src/songfile/song_file_access.cpp
    src/songtext/file_system.cpp
    src/player/command_line.cpp
    src/player/console_key_reader.cpp
    src/player/file_exists.cpp
    src/player/hardware_port.cpp
    src/player/key_wait_stop.cpp
    src/player/raw_terminal.cpp
    src/player/player_platform.cpp
    src/timer/library_binding.cpp
    src/timer/library_name.cpp
    src/output/audio_file_writer.cpp
    src/output/sdl_device_output.cpp
    timerlib/exports.cpp
    timerlib/monotonic.cpp
    tools/opl2tool/cmd_keys.cpp
    tools/opl2tool/cmd_play.cpp
    tools/opl2tool/cmd_render.cpp
    tools/opl2tool/tool_file_system.cpp
    tools/opl2tool/tool_platform.cpp)
list(TRANSFORM OPL2_POSIX_ONLY PREPEND ${CMAKE_SOURCE_DIR}/)

# zlib (for .vgz) from Debian's MinGW-w64 build of it, linked statically:
# the programs import no zlib1.dll.
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)

# nlohmann-json is headers only: the host's, seen through a folder that holds
# nothing else, so no other host header reaches the cross build.
find_path(OPL2_NLOHMANN_DIR nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/include/json)
file(CREATE_LINK ${OPL2_NLOHMANN_DIR}/nlohmann ${CMAKE_BINARY_DIR}/include/json/nlohmann SYMBOLIC)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json
                           INTERFACE ${CMAKE_BINARY_DIR}/include/json)

set(OPL2_HAVE_SOXR 0)
set(OPL2_OUTPUT_PUBLIC_LIBS "")
set(OPL2_OUTPUT_PRIVATE_LIBS winmm)
set(OPL2_TIMER_PRIVATE_LIBS "")

macro(opl2_windows_targets)
  # X68Sound.dll: the timer library, its routines exported under their plain
  # names (--kill-at drops the @N of __stdcall).
  set_target_properties(x68sound PROPERTIES OUTPUT_NAME X68Sound PREFIX "")
  target_link_libraries(x68sound PRIVATE winmm)
  target_link_options(x68sound PRIVATE -Wl,--kill-at)

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
    COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_BINARY_DIR}/zip ${CMAKE_COMMAND} -E tar cf
            ${OPL2_ZIP} --format=zip opl2play/README.txt opl2play/X68Sound.dll
            opl2play/opl2play.exe opl2play/opl2tool.exe
    DEPENDS opl2play opl2tool x68sound ${CMAKE_SOURCE_DIR}/packaging/README-windows.txt
    COMMENT "Packing ${OPL2_ZIP}"
    VERBATIM)
  add_custom_target(opl2play_zip DEPENDS ${OPL2_ZIP})

  if(OPL2_WINDOWS_TESTS)
    include(${CMAKE_SOURCE_DIR}/cmake/windows-tests.cmake)
  endif()
endmacro()
