# The packages, from one command: "cmake --build DIR --target package" writes
# them into DIR. What is common to every target comes first, then each
# target's generator.
#
# Windows: revdir-VERSION-win64.zip (below).
#
# Linux: a Debian package of what "cmake --install" lays out, its files
# stripped. Configure its build with -DCMAKE_INSTALL_PREFIX=/usr, so that
# GNUInstallDirs chooses Debian's multiarch library folder, and
# -DCMAKE_BUILD_TYPE=RelWithDebInfo for a -dbgsym package beside it (Release
# gives none); "./test.sh --package" builds it so in build/package and checks
# it.
set(CPACK_PACKAGE_NAME revdir)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Revision Directory Developers")
set(CPACK_PACKAGE_CONTACT "Revision Directory Developers <revdir-dev@lists.quillon-tools.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "directory of the Quillon releases: COM component and revdir tool")
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "An in-process automation component that tells any client which releases of"
  "the Quillon controller-programming application exist and are installed,"
  "which controller types each supports, which release belongs to a project"
  "file, a version, a database or a controller online, and what an error code"
  "means in nine languages. With the command-line tool revdir, the platform"
  "layer the component runs on, the communications server's client library, an"
  "EtherNet/IP device simulator, and the headers, CMake package and pkg-config"
  "file for clients.")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # Windows: a ZIP a user unpacks anywhere and registers from with revdir.exe
  # (for the user or the machine). One folder holds the component, its type
  # library, the tool and the simulator; the communications server's client
  # library lies in a folder of its own, which the component and the tool
  # reach only when the system has no client library of its own.
  install(TARGETS QuillonRevisionDirectory RUNTIME DESTINATION . LIBRARY DESTINATION .)
  install(FILES ${REVDIR_COMPONENT_TLB} DESTINATION .)
  foreach(program revdir enip_sim)
    if(TARGET ${program})
      install(TARGETS ${program} RUNTIME DESTINATION .)
    endif()
  endforeach()
  install(TARGETS cvapi32 RUNTIME DESTINATION commserver LIBRARY DESTINATION commserver)
  # The object definitions the communications library looks for in "comm"
  # beside the program.
  install(FILES ${REVDIR_COMM_ADF} DESTINATION comm)
  install(FILES ${REVDIR_COMPONENT_TLB_DIR}/QuillonRevisionDirectory.h ${REVDIR_COMPONENT_TLB_DIR}/QuillonRevisionDirectory_i.c
                ${REVDIR_COMPONENT_TLB_DIR}/QuillonRevisionDirectory_i.cpp
    DESTINATION include)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION examples)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION docs)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME revdir-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  include(CPack)
  return()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A build with debug information puts it in a -dbgsym package beside, which
# strips the package's files itself once it has taken their debug sections.
if(CMAKE_BUILD_TYPE MATCHES "^(Debug|RelWithDebInfo)$")
  set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
  set(CPACK_STRIP_FILES OFF)
endif()
# Nothing is registered at install time: each prefix registers the component
# on first use. The only maintainer scripts are the ldconfig calls CPack adds
# for libraries in /usr/lib; the trigger is how Debian asks for the same.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/deb/triggers)

# What Debian asks of every package's documentation folder: the copyright and
# the package's changelog, compressed as its tools do it (-n: no time stamp);
# "changelog.gz", as the package is its own upstream (no Debian revision).
install(FILES ${PROJECT_SOURCE_DIR}/cmake/deb/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The README with its tour, beside the examples it uses, and the interface
# reference for the client developer the headers are for.
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/interfaces.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
set(REVDIR_CHANGELOG ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${REVDIR_CHANGELOG}
  COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/cmake/deb/changelog > ${REVDIR_CHANGELOG}
  DEPENDS ${PROJECT_SOURCE_DIR}/cmake/deb/changelog)
add_custom_target(revdir_changelog ALL DEPENDS ${REVDIR_CHANGELOG})
install(FILES ${REVDIR_CHANGELOG} DESTINATION ${CMAKE_INSTALL_DOCDIR})

include(CPack)
