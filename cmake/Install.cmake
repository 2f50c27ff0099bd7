# Installation: the module, the platform layer it runs on, the communications
# server's client library the module loads by name and its device simulator,
# the Windows headers of the platform, and the client's header and
# identifiers, with a CMake package (find_package(QuillonRevisionDirectory))
# and a pkg-config file.
include(GNUInstallDirs)
set(REVDIR_INCLUDE_SUBDIR revdir)
install(TARGETS QuillonRevisionDirectory revdir_platform
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
# The installed libraries find one another beside themselves, wherever the
# tree lies: a module loaded by name that is not beside the program is found
# by dlopen, which searches the RUNPATH of its caller, the platform library.
set_target_properties(QuillonRevisionDirectory revdir_platform PROPERTIES INSTALL_RPATH "$ORIGIN")
# A fuzzing build has neither.
if(TARGET cvapi32)
  install(TARGETS cvapi32 LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  set_target_properties(cvapi32 PROPERTIES INSTALL_RPATH "$ORIGIN")
  install(TARGETS enip_sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  set(REVDIR_MANUALS tools/revdir.1 commserver/enip_sim.1)
else()
  set(REVDIR_MANUALS tools/revdir.1)
endif()
# The manual pages, compressed as Debian's tools do it (-n: no time stamp).
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/man)
foreach(page ${REVDIR_MANUALS})
  get_filename_component(name ${page} NAME)
  set(compressed ${CMAKE_CURRENT_BINARY_DIR}/man/${name}.gz)
  add_custom_command(OUTPUT ${compressed}
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/${page} > ${compressed}
    DEPENDS ${PROJECT_SOURCE_DIR}/${page})
  list(APPEND compressed_manuals ${compressed})
endforeach()
add_custom_target(revdir_manuals ALL DEPENDS ${compressed_manuals})
install(FILES ${compressed_manuals} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/platform/include/
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${REVDIR_INCLUDE_SUBDIR})
install(FILES ${REVDIR_COMPONENT_TLB_DIR}/QuillonRevisionDirectory.h ${REVDIR_COMPONENT_TLB_DIR}/QuillonRevisionDirectory_i.cpp
              ${REVDIR_COMPONENT_TLB_DIR}/QuillonRevisionDirectory_i.c
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${REVDIR_INCLUDE_SUBDIR})
# Both files find the prefix from where they lie, one folder deeper under the
# multiarch library folder than under lib/.
set(REVDIR_CONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/QuillonRevisionDirectory)
set(REVDIR_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH REVDIR_CONFIG_TO_PREFIX /${REVDIR_CONFIG_DIR} /)
file(RELATIVE_PATH REVDIR_PKGCONFIG_TO_PREFIX /${REVDIR_PKGCONFIG_DIR} /)
configure_file(${PROJECT_SOURCE_DIR}/cmake/QuillonRevisionDirectoryConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/QuillonRevisionDirectoryConfig.cmake @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/cmake/quillonrevisiondirectory.pc.in
  ${CMAKE_CURRENT_BINARY_DIR}/quillonrevisiondirectory.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/QuillonRevisionDirectoryConfig.cmake DESTINATION ${REVDIR_CONFIG_DIR})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/quillonrevisiondirectory.pc DESTINATION ${REVDIR_PKGCONFIG_DIR})
