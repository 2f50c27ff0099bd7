# Installation: the module, the platform layer it runs on, the Windows headers
# of the platform, and the client's header and identifiers, with a CMake
# package (find_package(QuillonRevisionDirectory)) and a pkg-config file.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)
set(REVDIR_INCLUDE_SUBDIR revdir)
install(TARGETS QuillonRevisionDirectory revdir_platform
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/platform/include/
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${REVDIR_INCLUDE_SUBDIR})
install(FILES ${REVDIR_COMPONENT_TLB_DIR}/QuillonRevisionDirectory.h ${REVDIR_COMPONENT_TLB_DIR}/QuillonRevisionDirectory_i.cpp
              ${REVDIR_COMPONENT_TLB_DIR}/QuillonRevisionDirectory_i.c
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${REVDIR_INCLUDE_SUBDIR})
configure_file(${PROJECT_SOURCE_DIR}/cmake/QuillonRevisionDirectoryConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/QuillonRevisionDirectoryConfig.cmake @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/cmake/quillonrevisiondirectory.pc.in
  ${CMAKE_CURRENT_BINARY_DIR}/quillonrevisiondirectory.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/QuillonRevisionDirectoryConfig.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/QuillonRevisionDirectory)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/quillonrevisiondirectory.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
