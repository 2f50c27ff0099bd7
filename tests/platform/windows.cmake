# The platform conformance tests as a Windows program, against the system's
# own libraries. The fixtures the tests load at run time (the test COM server,
# the resource module, the type libraries and the module carrying one) are
# built for Windows too and placed beside the program, where the tests find
# them through the program's own folder.
set(platform_dir ${CMAKE_BINARY_DIR}/tests/platform)
set(platform_gen ${platform_dir}/generated)
file(MAKE_DIRECTORY ${platform_gen})

# Type libraries by widl, from the stand-ins for the SDK's descriptions.
widl_outputs(${PROJECT_SOURCE_DIR}/tests/typelib_fixture/Fixture.idl Fixture ${platform_gen} ${platform_dir})
add_custom_command(
  OUTPUT ${platform_dir}/QuillonRevisionDirectory.tlb
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/generated/QuillonRevisionDirectory.tlb ${platform_dir}/
  DEPENDS ${CMAKE_BINARY_DIR}/generated/QuillonRevisionDirectory.tlb
  COMMENT "QuillonRevisionDirectory.tlb beside the tests")
# The files the resource tests compare the module's resources with.
set(platform_fixture_files)
foreach(f fixture.rgs blob.bin)
  add_custom_command(
    OUTPUT ${platform_dir}/${f}
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/tests/fixtures/${f} ${platform_dir}/
    DEPENDS ${PROJECT_SOURCE_DIR}/tests/fixtures/${f})
  list(APPEND platform_fixture_files ${platform_dir}/${f})
endforeach()
add_custom_target(platform_tests_typelibs
  DEPENDS ${platform_dir}/Fixture.tlb ${platform_dir}/QuillonRevisionDirectory.tlb ${platform_gen}/Fixture.h
          ${platform_fixture_files})

# The test COM server.
add_library(revdir_test_comserver MODULE ${PROJECT_SOURCE_DIR}/tests/comserver/comserver.cpp
            ${PROJECT_SOURCE_DIR}/platform/registrar/registrar.cpp)
target_include_directories(revdir_test_comserver PRIVATE ${PROJECT_SOURCE_DIR}/platform/registrar)
target_link_libraries(revdir_test_comserver PRIVATE ole32 oleaut32 uuid advapi32 kernel32)

# The module with exports and resources.
add_library(fixture_module MODULE ${PROJECT_SOURCE_DIR}/tests/fixtures/fixture_module.cpp
            ${PROJECT_SOURCE_DIR}/tests/fixtures/fixture.rc)
set_target_properties(fixture_module PROPERTIES OUTPUT_NAME revdir_fixture)
target_include_directories(fixture_module PRIVATE ${PROJECT_SOURCE_DIR}/tests/fixtures)

# A module carrying the fixture library as its TYPELIB resource.
add_library(typelib_fixture_module MODULE ${PROJECT_SOURCE_DIR}/tests/typelib_fixture/FixtureModule.cpp
            ${PROJECT_SOURCE_DIR}/tests/typelib_fixture/FixtureModule.rc)
set_source_files_properties(${PROJECT_SOURCE_DIR}/tests/typelib_fixture/FixtureModule.rc PROPERTIES
  OBJECT_DEPENDS ${platform_dir}/Fixture.tlb)
target_include_directories(typelib_fixture_module PRIVATE ${platform_dir})
add_dependencies(typelib_fixture_module platform_tests_typelibs)

foreach(t revdir_test_comserver fixture_module typelib_fixture_module)
  set_target_properties(${t} PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${platform_dir}
                        RUNTIME_OUTPUT_DIRECTORY ${platform_dir})
  target_compile_definitions(${t} PRIVATE UNICODE _UNICODE)
  target_link_options(${t} PRIVATE -static)
endforeach()

file(GLOB platform_test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*_test.cpp)
list(FILTER platform_test_sources EXCLUDE REGEX "_linux_test\\.cpp$")
add_executable(platform_tests ${platform_test_sources}
  ${PROJECT_SOURCE_DIR}/tests/typelib_fixture/FixtureObject.cpp
  ${PROJECT_SOURCE_DIR}/platform/registrar/registrar.cpp
  ${platform_gen}/Fixture_i.c
  ${CMAKE_BINARY_DIR}/generated/QuillonRevisionDirectory_i.c)
set_target_properties(platform_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${platform_dir})
add_dependencies(platform_tests platform_tests_typelibs revdir_test_comserver fixture_module typelib_fixture_module)
target_include_directories(platform_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests/support
  ${PROJECT_SOURCE_DIR}/tests/typelib_fixture ${PROJECT_SOURCE_DIR}/platform/registrar
  ${platform_gen} ${CMAKE_BINARY_DIR}/generated)
# Fixture names only: the tests look for them beside the program.
target_compile_definitions(platform_tests PRIVATE
  FIXTURE_TLB="Fixture.tlb" COMPONENT_TLB="QuillonRevisionDirectory.tlb"
  FIXTURE_MODULE="typelib_fixture_module.dll" REVDIR_TEST_COMSERVER="revdir_test_comserver.dll"
  REVDIR_FIXTURE_MODULE="revdir_fixture.dll" REVDIR_FIXTURE_DIR=".")
target_link_libraries(platform_tests PRIVATE gtest gtest_main ole32 oleaut32 uuid advapi32 user32 kernel32)
revdir_windows_test(platform_tests)
