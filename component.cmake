# Component code built as static libraries that the component module (and
# the tests) link; they see only the Windows headers of the platform layer.

# The release catalogue and the controller-type catalogue.
add_library(revdir_catalog STATIC
  ${CMAKE_CURRENT_LIST_DIR}/directory/revision_table.cpp
  ${CMAKE_CURRENT_LIST_DIR}/directory/installed_path.cpp
  ${CMAKE_CURRENT_LIST_DIR}/revision/processor_catalog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/revision/processor_tables.cpp)
target_include_directories(revdir_catalog PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(revdir_catalog PUBLIC revdir_platform)
