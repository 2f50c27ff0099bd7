include(${CMAKE_CURRENT_LIST_DIR}/sources.cmake)

# Component code built as static libraries that the component module (and
# the tests) link; they see only the Windows headers of the platform layer.

# The registrar, which the tests' own server links too.
add_library(revdir_registrar STATIC ${REVDIR_REGISTRAR_SOURCES})
target_include_directories(revdir_registrar PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(revdir_registrar PUBLIC revdir_platform)

# The scanner of project text exports: plain code, shared with the tests,
# benchmarks and fuzz targets.
add_library(revdir_export_scan STATIC ${REVDIR_SCAN_SOURCES})
target_include_directories(revdir_export_scan PUBLIC ${CMAKE_CURRENT_LIST_DIR})

# The controller's identity over the communications library: the component
# and the command-line tool link it. Its failures are the component's error
# codes, which the catalogue's interface header names.
add_library(revdir_online STATIC ${REVDIR_ONLINE_SOURCES})
target_include_directories(revdir_online PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(revdir_online PUBLIC revdir_comm revdir_catalog revdir_platform)

# The component module: the in-process server, exporting exactly
# DllGetClassObject, DllCanUnloadNow, DllRegisterServer, DllUnregisterServer.
add_library(QuillonRevisionDirectory SHARED ${REVDIR_COMPONENT_SOURCES}
  ${CMAKE_CURRENT_LIST_DIR}/resources/QuillonRevisionDirectory.def)
target_include_directories(QuillonRevisionDirectory PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(QuillonRevisionDirectory PRIVATE revdir_catalog revdir_export_scan revdir_registrar revdir_online)
revdir_module(QuillonRevisionDirectory)
revdir_idl(QuillonRevisionDirectory ${CMAKE_CURRENT_LIST_DIR}/resources/QuillonRevisionDirectory.idl)
get_target_property(REVDIR_COMPONENT_TLB QuillonRevisionDirectory REVDIR_TYPELIB)
get_filename_component(REVDIR_COMPONENT_TLB_DIR ${REVDIR_COMPONENT_TLB} DIRECTORY)
# The script names the registry scripts beside it, which the preprocessor
# does not see.
file(GLOB REVDIR_COMPONENT_RGS ${CMAKE_CURRENT_LIST_DIR}/resources/*.rgs)
revdir_version_resource(QuillonRevisionDirectory DESCRIPTION "Revision directory automation component"
  RC ${CMAKE_CURRENT_LIST_DIR}/resources/QuillonRevisionDirectory.rc
  INCLUDE_DIRS ${REVDIR_COMPONENT_TLB_DIR}
  DEPENDS ${REVDIR_COMPONENT_TLB} ${REVDIR_COMPONENT_RGS} QuillonRevisionDirectory_typelib)

# The catalogue names the type library's enumerations, so it sees the
# interface header too.
add_library(revdir_catalog STATIC ${REVDIR_CATALOG_SOURCES})
target_include_directories(revdir_catalog PUBLIC ${CMAKE_CURRENT_LIST_DIR} ${REVDIR_COMPONENT_TLB_DIR})
target_link_libraries(revdir_catalog PUBLIC revdir_platform)
add_dependencies(revdir_catalog QuillonRevisionDirectory_typelib)

# What a C++ client of the component compiles in: the interface header and
# the identifiers (IIDs, CLSIDs, LIBID) it names.
add_library(QuillonRevisionDirectory_client INTERFACE)
target_include_directories(QuillonRevisionDirectory_client INTERFACE ${REVDIR_COMPONENT_TLB_DIR})
target_sources(QuillonRevisionDirectory_client INTERFACE ${REVDIR_COMPONENT_TLB_DIR}/QuillonRevisionDirectory_i.cpp)
target_link_libraries(QuillonRevisionDirectory_client INTERFACE revdir_platform)
add_dependencies(QuillonRevisionDirectory_client QuillonRevisionDirectory)
