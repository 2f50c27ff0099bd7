# The application's test host as a Windows program, with its two version
# modules beside it; their decorated export names come from .def files.
set(dir ${PROJECT_SOURCE_DIR}/tests/alias_host)
foreach(module QxDbSrvs SysUtils)
  add_library(${module} SHARED ${dir}/version_module.cpp ${dir}/${module}.def)
  set_target_properties(${module} PROPERTIES PREFIX "" SUFFIX ".DLL")
  target_link_options(${module} PRIVATE -static)
endforeach()
add_executable(alias_host ${PROJECT_SOURCE_DIR}/tests/com_component/component_fixture.cpp ${dir}/alias_host_test.cpp)
set_target_properties(alias_host PROPERTIES OUTPUT_NAME RevisionDirectoryUnitTest)
add_dependencies(alias_host QuillonRevisionDirectory QxDbSrvs SysUtils)
target_link_libraries(alias_host PRIVATE QuillonRevisionDirectory_client gtest
  ole32 oleaut32 uuid advapi32 user32 kernel32)
target_include_directories(alias_host PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests/com_component ${PROJECT_SOURCE_DIR}/tests/support)
revdir_windows_test(alias_host)
