# `cmake --install BUILD [--prefix P]`: the programs, the timer library where
# the player finds it (the library folder, named in the player's run path),
# the manual pages and the bash completion of opl2tool.
include(GNUInstallDirs)

if(TARGET opl2play)
  set_target_properties(opl2play PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  install(TARGETS opl2play RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(TARGETS opl2tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET x68sound)
  install(TARGETS x68sound LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()
install(FILES docs/man/opl2play.1 docs/man/opl2tool.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES tools/opl2tool/opl2tool.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME opl2tool)
