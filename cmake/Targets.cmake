# What differs between the two targets for the component, a test program and
# a module the tests load, so that each is described once for both. On Linux
# they link the platform layer and GoogleTest from Debian; on Windows the
# system's own libraries and a static GoogleTest, linked statically so that
# they need nothing but the system's DLLs, and the tests and what they load
# lie together in the build folder, where a test finds its modules beside
# itself.
include_guard(GLOBAL)

if(WIN32)
  # What the platform layer implements here is the system's own there: a
  # target linking revdir_platform links those libraries and speaks their
  # wide-character API.
  add_library(revdir_platform INTERFACE)
  target_link_libraries(revdir_platform INTERFACE ole32 oleaut32 uuid advapi32 user32 kernel32)
  target_compile_definitions(revdir_platform INTERFACE UNICODE _UNICODE)
endif()

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
    target_link_libraries(${name} PRIVATE revdir_platform gtest ${main})
    target_link_options(${name} PRIVATE -static)
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

# revdir_module(TARGET): what a module links and how it exports. On Windows
# the system's libraries, linked statically, exports from the .def file among
# its sources, and no "lib" prefix; on Linux the platform layer, exports by
# visibility (a .def source is ignored) and nothing left undefined.
function(revdir_module target)
  target_link_libraries(${target} PRIVATE revdir_platform)
  if(WIN32)
    target_link_options(${target} PRIVATE -static -Wl,--enable-stdcall-fixup)
    set_target_properties(${target} PROPERTIES PREFIX "")
  elseif(NOT REVDIR_FUZZ)
    # A fuzzing build leaves the sanitizer runtime to the executable.
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  endif()
endfunction()

# revdir_test_module(NAME OUTPUT_NAME SOURCES...): a module a test loads by
# name, with no "lib" prefix on either target.
function(revdir_test_module name output)
  add_library(${name} MODULE ${ARGN})
  set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME ${output})
  revdir_module(${name})
  if(WIN32)
    set_target_properties(${name} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}
                          RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  endif()
endfunction()
