# The same suite as a Windows program, with the library built for Windows
# beside it: the component's loader finds "cvapi32.dll" in the program's
# folder, and the EtherNet/IP tests talk to the simulator through Winsock.
set(dir ${PROJECT_SOURCE_DIR}/tests/commserver)
set(out $<TARGET_FILE_DIR:cvapi32>)
add_library(partial_cvapi MODULE ${dir}/partial_cvapi.cpp)
target_include_directories(partial_cvapi PRIVATE ${PROJECT_SOURCE_DIR}/commserver/include)
set_target_properties(partial_cvapi PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/commserver)
target_link_options(partial_cvapi PRIVATE -static)
add_executable(commserver_tests ${dir}/loader_test.cpp ${dir}/wire_test.cpp ${dir}/library_test.cpp
  ${REVDIR_COMM_SOURCES})
target_include_directories(commserver_tests PRIVATE ${PROJECT_SOURCE_DIR}/comm ${PROJECT_SOURCE_DIR}/tests/support)
target_link_libraries(commserver_tests PRIVATE cvapi_sim cvapi_wire gtest gtest_main advapi32 kernel32)
target_compile_definitions(commserver_tests PRIVATE PARTIAL_CVAPI="partial_cvapi.dll")
set_target_properties(commserver_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/commserver)
add_dependencies(commserver_tests cvapi32 partial_cvapi)
revdir_windows_test(commserver_tests)
