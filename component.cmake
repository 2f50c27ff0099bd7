# Component code built as static libraries that the component module (and
# the tests) link; they see only the Windows headers of the platform layer.

# The release catalogue and the controller-type catalogue.
add_library(revdir_catalog STATIC
  ${CMAKE_CURRENT_LIST_DIR}/directory/revision_table.cpp
  ${CMAKE_CURRENT_LIST_DIR}/directory/installed_path.cpp
  ${CMAKE_CURRENT_LIST_DIR}/directory/scan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/revision/processor_catalog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/revision/processor_tables.cpp)
target_include_directories(revdir_catalog PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(revdir_catalog PUBLIC revdir_platform)

# The component module: the in-process server, exporting exactly
# DllGetClassObject, DllCanUnloadNow, DllRegisterServer, DllUnregisterServer.
add_library(QuillonRevisionDirectory SHARED
  ${CMAKE_CURRENT_LIST_DIR}/frame/errors.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frame/exports.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frame/module.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frame/object_map.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frame/typeinfo_cache.cpp
  ${CMAKE_CURRENT_LIST_DIR}/directory/revision_directory.cpp
  ${CMAKE_CURRENT_LIST_DIR}/directory/revision_collections.cpp
  ${CMAKE_CURRENT_LIST_DIR}/revision/processor_type.cpp
  ${CMAKE_CURRENT_LIST_DIR}/revision/revision.cpp)
target_include_directories(QuillonRevisionDirectory PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(QuillonRevisionDirectory PRIVATE revdir_catalog revdir_platform)
target_link_options(QuillonRevisionDirectory PRIVATE -Wl,--no-undefined)
revdir_idl(QuillonRevisionDirectory ${CMAKE_CURRENT_LIST_DIR}/resources/QuillonRevisionDirectory.idl)
revdir_add_resources(QuillonRevisionDirectory ${CMAKE_CURRENT_LIST_DIR}/resources/QuillonRevisionDirectory.rc)
