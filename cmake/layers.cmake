# One static library per folder of src/, named opl2<folder>, linked along the
# road of a note: song -> sequencer -> opl -> bus -> chip, with the renderer,
# the outputs and the front ends on top. A library sees its own headers and
# those of the libraries it links, nothing else: each folder's headers are
# reached through a directory of their own in the build tree, so an include
# against the road fails to build.
set(OPL2_INCLUDE_ROOT ${CMAKE_BINARY_DIR}/include)
function(opl2_library folder)
  cmake_parse_arguments(ARG "" "" "PUBLIC;PRIVATE" ${ARGN})
  set(inc ${OPL2_INCLUDE_ROOT}/${folder})
  file(MAKE_DIRECTORY ${inc})
  file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${folder} ${inc}/${folder} SYMBOLIC)
  opl2_sources(srcs ${CMAKE_SOURCE_DIR}/src/${folder}/*.cpp)
  add_library(opl2${folder} STATIC ${srcs})
  target_include_directories(opl2${folder} PUBLIC ${inc})
  target_link_libraries(opl2${folder} PUBLIC ${ARG_PUBLIC} PRIVATE ${ARG_PRIVATE})
endfunction()

# The chip's clock and rate, which the bus time line counts in, without the
# rest of the chip.
file(MAKE_DIRECTORY ${OPL2_INCLUDE_ROOT}/chipclock/chip)
file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/chip/chip_clock.h
     ${OPL2_INCLUDE_ROOT}/chipclock/chip/chip_clock.h SYMBOLIC)
add_library(opl2chipclock INTERFACE)
target_include_directories(opl2chipclock INTERFACE ${OPL2_INCLUDE_ROOT}/chipclock)

# The core.
opl2_library(song)
opl2_library(chip)
opl2_library(bus PUBLIC opl2chipclock)
opl2_library(opl PUBLIC opl2bus opl2song)
opl2_library(sequencer PUBLIC opl2opl opl2bus opl2song)
opl2_library(render PUBLIC opl2sequencer opl2bus opl2chip)
if(OPL2_CORE_ONLY)
  return()
endif()

# What the programs add around it.
opl2_library(songfile PUBLIC opl2song opl2sequencer)
opl2_library(output PUBLIC opl2bus opl2chip ${OPL2_OUTPUT_PUBLIC_LIBS}
                    PRIVATE ${OPL2_OUTPUT_PRIVATE_LIBS} Threads::Threads)
opl2_library(timer PUBLIC opl2bus PRIVATE ${OPL2_TIMER_PRIVATE_LIBS} Threads::Threads)
opl2_library(analysis PUBLIC opl2song PRIVATE opl2sequencer opl2bus)
opl2_library(songtext PUBLIC opl2song PRIVATE opl2analysis)
find_package(ZLIB REQUIRED)
opl2_library(vgm PUBLIC opl2render PRIVATE opl2songfile ZLIB::ZLIB)
opl2_library(player PRIVATE opl2output opl2timer opl2songfile opl2sequencer opl2opl opl2bus
                    opl2song Threads::Threads)
# opl2tool play: the interactive player on the library (a POSIX terminal and
# SDL2, so not in the Windows build).
if(NOT WIN32)
  opl2_library(jukebox PUBLIC opl2lib opl2render PRIVATE opl2player opl2songfile Threads::Threads)
endif()

# Every layer at once, for the programs and tests that use many.
add_library(opl2all INTERFACE)
target_link_libraries(opl2all INTERFACE opl2song opl2chip opl2bus opl2opl opl2sequencer
                      opl2render opl2songfile opl2output opl2timer opl2analysis opl2songtext
                      opl2vgm opl2player $<TARGET_NAME_IF_EXISTS:opl2jukebox>)
