# The same suite as a Windows program, beside the client library built for
# Windows, with the object definitions in "comm" beside it.
set(dir ${PROJECT_SOURCE_DIR}/tests/comm)
add_executable(comm_tests ${dir}/context_test.cpp ${dir}/path_test.cpp ${dir}/adf_test.cpp
  ${dir}/packet_server_test.cpp ${REVDIR_COMM_SOURCES})
target_include_directories(comm_tests PRIVATE ${PROJECT_SOURCE_DIR}/comm ${PROJECT_SOURCE_DIR}/tests/support)
target_link_libraries(comm_tests PRIVATE cvapi_sim cvapi_wire gtest gtest_main advapi32 kernel32)
set(adf ${PROJECT_SOURCE_DIR}/resources/comm/CIP001R01V01.ADF)
target_compile_definitions(comm_tests PRIVATE REVDIR_COMM_ADF_PATH="${adf}")
set_target_properties(comm_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/commserver)
add_custom_command(TARGET comm_tests POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/commserver/comm
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${adf} ${CMAKE_BINARY_DIR}/commserver/comm/)
add_dependencies(comm_tests cvapi32)
revdir_windows_test(comm_tests)
