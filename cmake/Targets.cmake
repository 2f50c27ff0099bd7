# What differs between the two targets for a test program and for a module the
# tests load, so that each test folder describes its targets once for both.
# On Linux they link the platform layer and GoogleTest from Debian; on Windows
# the system's own libraries and a static GoogleTest, linked statically so
# that they need nothing but the system's DLLs, and they lie together in the
# build folder, where a test finds what it loads beside itself.

# revdir_test(NAME SOURCES... [LINUX_SOURCES...] [ONE_PROCESS] [NO_MAIN])
# LINUX_SOURCES test what only the platform layer has (its prefix, its files);
# ONE_PROCESS runs the program as one test (per-process state shared by all).
function(revdir_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "ONE_PROCESS;NO_MAIN" "" "SOURCES;LINUX_SOURCES")
  set(main gtest_main)
  if(arg_NO_MAIN)
    set(main)
  endif()
  if(WIN32)
    add_executable(${name} ${arg_SOURCES})
    target_link_libraries(${name} PRIVATE gtest ${main} ole32 oleaut32 uuid advapi32 user32 kernel32)
    target_link_options(${name} PRIVATE -static)
    target_compile_definitions(${name} PRIVATE UNICODE _UNICODE)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
    set_property(GLOBAL APPEND PROPERTY REVDIR_WINDOWS_TESTS ${name})
  else()
    add_executable(${name} ${arg_SOURCES} ${arg_LINUX_SOURCES})
    list(TRANSFORM main PREPEND GTest::)
    target_link_libraries(${name} PRIVATE revdir_platform GTest::gtest ${main} Threads::Threads)
    if(arg_ONE_PROCESS)
      add_test(NAME ${name} COMMAND ${name})
      set_tests_properties(${name} PROPERTIES TIMEOUT 300)
    else()
      gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
    endif()
  endif()
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
endfunction()

# revdir_test_module(NAME OUTPUT_NAME SOURCES...): a module a test loads by
# name, with no "lib" prefix on either target.
function(revdir_test_module name output)
  add_library(${name} MODULE ${ARGN})
  set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME ${output})
  if(WIN32)
    target_link_libraries(${name} PRIVATE ole32 oleaut32 uuid advapi32 kernel32)
    target_link_options(${name} PRIVATE -static)
    target_compile_definitions(${name} PRIVATE UNICODE _UNICODE)
    set_target_properties(${name} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}
                          RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  else()
    target_link_libraries(${name} PRIVATE revdir_platform)
    target_link_options(${name} PRIVATE -Wl,--no-undefined)
  endif()
endfunction()
