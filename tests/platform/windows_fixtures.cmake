# The platform suite's fixtures on Windows (included by
# revdir_platform_test_fixtures() for the suite ${test}).
# On Windows every file a test loads lies beside the program, found through
# the program's own folder: the test server, the resource module, the type
# libraries and the module carrying one. The fixture modules are built here
# until their folders compile resources and interface descriptions the same
# way on both targets.
set(platform_gen ${CMAKE_CURRENT_BINARY_DIR}/generated)
file(MAKE_DIRECTORY ${platform_gen})
set(fixtures ${PROJECT_SOURCE_DIR}/tests/fixtures)
set(typelib_fixture ${PROJECT_SOURCE_DIR}/tests/typelib_fixture)

widl_outputs(${typelib_fixture}/Fixture.idl Fixture ${platform_gen} ${CMAKE_BINARY_DIR})
set(beside ${CMAKE_BINARY_DIR}/Fixture.tlb ${CMAKE_BINARY_DIR}/QuillonRevisionDirectory.tlb)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/QuillonRevisionDirectory.tlb
  COMMAND ${CMAKE_COMMAND} -E copy ${REVDIR_COMPONENT_TLB} ${CMAKE_BINARY_DIR}/
  DEPENDS ${REVDIR_COMPONENT_TLB})
foreach(f fixture.rgs blob.bin)
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/${f}
    COMMAND ${CMAKE_COMMAND} -E copy ${fixtures}/${f} ${CMAKE_BINARY_DIR}/
    DEPENDS ${fixtures}/${f})
  list(APPEND beside ${CMAKE_BINARY_DIR}/${f})
endforeach()
add_custom_target(platform_tests_files DEPENDS ${beside} ${platform_gen}/Fixture.h)
add_dependencies(${test}_files QuillonRevisionDirectory_typelib)

revdir_test_module(fixture_module revdir_fixture ${fixtures}/fixture_module.cpp ${fixtures}/fixture.rc)
target_include_directories(fixture_module PRIVATE ${fixtures})

revdir_test_module(typelib_fixture_module typelib_fixture_module
  ${typelib_fixture}/fixture_module.cpp ${typelib_fixture}/fixture_module.rc)
set_source_files_properties(${typelib_fixture}/fixture_module.rc PROPERTIES OBJECT_DEPENDS ${CMAKE_BINARY_DIR}/Fixture.tlb)
target_include_directories(typelib_fixture_module PRIVATE ${CMAKE_BINARY_DIR})
add_dependencies(typelib_fixture_module platform_tests_files)

target_sources(${test} PRIVATE ${typelib_fixture}/fixture_object.cpp ${platform_gen}/Fixture_i.c)
target_link_libraries(${test} PRIVATE QuillonRevisionDirectory_client)
add_dependencies(${test} platform_tests_files fixture_module typelib_fixture_module)
target_include_directories(${test} PRIVATE ${typelib_fixture} ${platform_gen})
# Fixture names only: the tests look for them beside the program.
target_compile_definitions(${test} PRIVATE
  FIXTURE_TLB="Fixture.tlb" COMPONENT_TLB="QuillonRevisionDirectory.tlb"
  FIXTURE_MODULE="typelib_fixture_module.dll" REVDIR_TEST_COMSERVER="revdir_test_comserver.dll"
  REVDIR_FIXTURE_MODULE="revdir_fixture.dll" REVDIR_FIXTURE_DIR=".")
