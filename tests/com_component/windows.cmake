# The same client tests as a Windows program: the DLL beside it, registered in
# the machine's registry and created through the system's COM runtime.
set(dir ${PROJECT_SOURCE_DIR}/tests/com_component)
add_executable(component_tests
  ${dir}/component_fixture.cpp
  ${dir}/frame_test.cpp
  ${dir}/errors_test.cpp
  ${dir}/revision_test.cpp
  ${dir}/processor_type_test.cpp
  ${dir}/directory_test.cpp
  ${dir}/launch_test.cpp
  ${dir}/directory_state_test.cpp)
add_dependencies(component_tests QuillonRevisionDirectory)
target_link_libraries(component_tests PRIVATE QuillonRevisionDirectory_client gtest
  ole32 oleaut32 uuid advapi32 user32 kernel32)
target_include_directories(component_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
revdir_windows_test(component_tests)
