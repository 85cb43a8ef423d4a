# libopl2play: the C API over the renderer. opl2lib is the static library the
# programs (and the browser and Windows builds) link; libopl2play.so.0 is the
# same code as a shared library exporting only the opl2_* functions.
set(OPL2_PUBLIC_INCLUDE ${CMAKE_SOURCE_DIR}/include)

if(OPL2_CORE_ONLY)
  opl2_library(lib PUBLIC opl2render)
  target_compile_definitions(opl2lib PRIVATE OPL2_HAVE_SOXR=0)
else()
  opl2_library(lib PUBLIC opl2render PRIVATE PkgConfig::SOXR)
  target_compile_definitions(opl2lib PRIVATE OPL2_HAVE_SOXR=1)
endif()
target_include_directories(opl2lib PUBLIC ${OPL2_PUBLIC_INCLUDE})
target_compile_definitions(opl2lib PRIVATE OPL2PLAY_VERSION="${PROJECT_VERSION}")

get_property(OPL2_SHARED_OK GLOBAL PROPERTY TARGET_SUPPORTS_SHARED_LIBS)
if(OPL2_SHARED_OK)
  file(GLOB lib_srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/lib/*.cpp)
  add_library(libopl2play SHARED ${lib_srcs})
  target_include_directories(libopl2play
    PUBLIC $<BUILD_INTERFACE:${OPL2_PUBLIC_INCLUDE}> $<INSTALL_INTERFACE:include>
    PRIVATE ${OPL2_INCLUDE_ROOT}/lib)
  target_link_libraries(libopl2play PRIVATE opl2render)
  target_compile_definitions(libopl2play PRIVATE OPL2PLAY_VERSION="${PROJECT_VERSION}"
                                                 OPL2PLAY_BUILDING_DLL)
  if(OPL2_CORE_ONLY)
    target_compile_definitions(libopl2play PRIVATE OPL2_HAVE_SOXR=0)
  else()
    target_compile_definitions(libopl2play PRIVATE OPL2_HAVE_SOXR=1)
    target_link_libraries(libopl2play PRIVATE PkgConfig::SOXR)
  endif()
  set_target_properties(libopl2play PROPERTIES
    OUTPUT_NAME opl2play
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR}
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    # Only opl2_* leaves the library, whatever the static layers export.
    target_link_options(libopl2play PRIVATE
      -Wl,--version-script=${CMAKE_SOURCE_DIR}/src/lib/exports.map -Wl,--no-undefined)
    set_property(TARGET libopl2play APPEND PROPERTY LINK_DEPENDS
                 ${CMAKE_SOURCE_DIR}/src/lib/exports.map)
  endif()
endif()

if(TARGET opl2all)
  target_link_libraries(opl2all INTERFACE opl2lib)
endif()
