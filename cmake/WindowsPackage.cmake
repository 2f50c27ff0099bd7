# The Windows package: a ZIP a user unpacks anywhere and registers from with
# revdir.exe (for the user or the machine). One folder holds the component,
# its type library, the tool and the simulator; the communications server's
# client library lies in a folder of its own, which the component and the
# tool reach only when the system has no client library of its own.
# cmake --build DIR --target package makes revdir-VERSION-win64.zip.
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
if(EXISTS ${PROJECT_SOURCE_DIR}/docs)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION docs)
endif()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME revdir)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME revdir-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
