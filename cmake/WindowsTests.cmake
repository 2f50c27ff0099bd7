# The tests that hold on Windows too, built with mingw-w64 and run under Wine
# by tests/wine/run.sh: GoogleTest from Debian's sources, linked statically so
# that a test program needs nothing but the system's own DLLs.
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(t gtest gtest_main)
  # GoogleTest's own sources are not held to our warning flags.
  target_compile_options(${t} PRIVATE -w)
endforeach()

# Each suite that runs on both targets describes its Windows program in a
# windows.cmake beside its sources.
function(revdir_windows_test name)
  target_link_options(${name} PRIVATE -static)
  target_compile_definitions(${name} PRIVATE UNICODE _UNICODE)
  set_property(GLOBAL APPEND PROPERTY REVDIR_WINDOWS_TESTS ${name})
endfunction()
file(GLOB windows_suites CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/*/windows.cmake)
foreach(suite ${windows_suites})
  include(${suite})
endforeach()

# tests/wine/run.sh runs every program listed here.
get_property(programs GLOBAL PROPERTY REVDIR_WINDOWS_TESTS)
set(lines "")
foreach(p ${programs})
  string(APPEND lines "$<TARGET_FILE:${p}>\n")
endforeach()
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/windows_tests.txt CONTENT "${lines}")
