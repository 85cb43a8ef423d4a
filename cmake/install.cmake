# cmake --install BUILD [--prefix P]: the programs, the timer library beside
# the player, libopl2play with its header, pkg-config file and CMake package,
# the manual pages and the bash completion of opl2tool.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS opl2play opl2tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET x68sound)
  # The player loads it from beside itself.
  install(TARGETS x68sound LIBRARY DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

install(FILES docs/man/opl2play.1 docs/man/opl2tool.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES tools/opl2tool/opl2tool.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME opl2tool)

install(TARGETS libopl2play EXPORT opl2playTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES include/opl2play/opl2play.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/opl2play)

# Relocatable: the prefix is found from where the .pc file lies, so
# --prefix at install time is all it takes.
file(RELATIVE_PATH OPL2_PC_TO_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
string(REGEX REPLACE "/$" "" OPL2_PC_TO_PREFIX "${OPL2_PC_TO_PREFIX}")
configure_file(cmake/opl2play.pc.in ${CMAKE_BINARY_DIR}/opl2play.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/opl2play.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

set(config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/opl2play)
install(EXPORT opl2playTargets NAMESPACE opl2play:: DESTINATION ${config_dir})
configure_package_config_file(cmake/opl2playConfig.cmake.in
  ${CMAKE_BINARY_DIR}/opl2playConfig.cmake INSTALL_DESTINATION ${config_dir})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/opl2playConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/opl2playConfig.cmake
              ${CMAKE_BINARY_DIR}/opl2playConfigVersion.cmake DESTINATION ${config_dir})
