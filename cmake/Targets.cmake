# Every difference between the two targets, so that each target, test
# program and module is described once for both: no other build file asks
# which target it builds for. On Linux they link the platform layer and
# GoogleTest from Debian; on Windows the system's own libraries and a static
# GoogleTest, linked statically so that they need nothing but the system's
# DLLs, and the tests and what they load lie together in the build folder,
# where a test finds its modules beside itself.
include_guard(GLOBAL)

# What each target builds. The platform layer stands for the system only
# where there is no system to stand for; the benchmarks, fuzz targets and the
# package are Linux's for now (the command-line tool is built for both).
if(WIN32)
  set(REVDIR_BUILD_PLATFORM OFF)
  set(REVDIR_BUILD_LINUX_PARTS OFF)
  # What the platform layer implements here is the system's own there: a
  # target linking revdir_platform links those libraries and speaks their
  # wide-character API.
  add_library(revdir_platform INTERFACE)
  target_link_libraries(revdir_platform INTERFACE ole32 oleaut32 uuid advapi32 user32 shell32 kernel32 version)
  target_compile_definitions(revdir_platform INTERFACE UNICODE _UNICODE)
else()
  set(REVDIR_BUILD_PLATFORM ON)
  set(REVDIR_BUILD_LINUX_PARTS ON)
  # Component code sees only the Windows headers; exports are explicit (by a
  # .def file on Windows, by visibility here).
  set(CMAKE_CXX_VISIBILITY_PRESET hidden)
  set(CMAKE_C_VISIBILITY_PRESET hidden)
  set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)
endif()

# revdir_use_gtest(): GoogleTest for the test folders.
macro(revdir_use_gtest)
  if(WIN32)
    # From Debian's sources, linked statically.
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    foreach(t gtest gtest_main)
      # GoogleTest's own sources are not held to our warning flags.
      target_compile_options(${t} PRIVATE -w)
    endforeach()
    # Programs and the modules they load lie together in the build folder.
    set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
    set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  else()
    find_package(GTest REQUIRED)
    find_package(Threads REQUIRED)
    include(GoogleTest)
  endif()
endmacro()

# revdir_add_test_folder(DIR WINDOWS_FOLDERS...): a test folder, on Windows
# only when it is one of those whose programs also run there.
function(revdir_add_test_folder dir)
  get_filename_component(name ${dir} NAME)
  if(NOT WIN32 OR name IN_LIST ARGN)
    add_subdirectory(${dir})
  endif()
endfunction()

# revdir_write_test_list(): on Windows, the list of test programs that
# tests/wine/run.sh runs.
function(revdir_write_test_list)
  if(WIN32)
    get_property(programs GLOBAL PROPERTY REVDIR_WINDOWS_TESTS)
    set(lines "")
    foreach(p ${programs})
      string(APPEND lines "$<TARGET_FILE:${p}>\n")
    endforeach()
    file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/windows_tests.txt CONTENT "${lines}")
  endif()
endfunction()

# revdir_test_paths(TEST [LINUX_ONLY] DEFINE TARGET-OR-PATH ...): tells a test
# where a file it loads lies (a target, which may be defined later, or an
# absolute path). On Windows the files lie beside the program, so
# the test is given a name (a folder relative to the build folder); here the
# full path. With LINUX_ONLY nothing is defined on Windows.
function(revdir_test_paths test)
  set(pairs ${ARGN})
  if(pairs MATCHES "^LINUX_ONLY;")
    list(POP_FRONT pairs)
    if(WIN32)
      return()
    endif()
  endif()
  while(pairs)
    list(POP_FRONT pairs define what)
    if(NOT IS_ABSOLUTE ${what})
      if(WIN32)
        set(path $<TARGET_FILE_NAME:${what}>)
      else()
        set(path $<TARGET_FILE:${what}>)
      endif()
    elseif(WIN32)
      file(RELATIVE_PATH path ${CMAKE_BINARY_DIR} ${what})
    else()
      set(path ${what})
    endif()
    target_compile_definitions(${test} PRIVATE ${define}="${path}")
  endwhile()
endfunction()

# revdir_client_library_beside(TEST): the communications server's client
# library where the component's LoadLibrary finds it from the test: beside
# the program.
function(revdir_client_library_beside test)
  if(WIN32)
    add_custom_command(TARGET ${test} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:cvapi32> $<TARGET_FILE_DIR:${test}>/)
  else()
    set_target_properties(${test} PROPERTIES RUNTIME_OUTPUT_DIRECTORY $<TARGET_FILE_DIR:cvapi32>)
  endif()
endfunction()

# revdir_platform_test_fixtures(TEST): the fixture files the platform's suite
# loads. Here the fixture folders hand them over by path; on Windows they are
# built beside the program (tests/platform/windows_fixtures.cmake).
function(revdir_platform_test_fixtures test)
  if(WIN32)
    include(${PROJECT_SOURCE_DIR}/tests/platform/windows_fixtures.cmake)
  else()
    revdir_test_paths(${test} REVDIR_TEST_COMSERVER revdir_test_comserver)
  endif()
endfunction()

# revdir_desktop_program(TARGET WINDOWS SOURCES... LINUX SOURCES...): a
# program a user starts, not built on the component's platform: on Windows
# against the system's COM libraries (it is also a local server there), here
# against POSIX and X11 directly, with only the platform's headers for the
# shared names.
function(revdir_desktop_program target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "WINDOWS;LINUX")
  if(WIN32)
    add_executable(${target} ${arg_WINDOWS})
    target_link_options(${target} PRIVATE -municode -static)
    target_link_libraries(${target} PRIVATE ole32 oleaut32 uuid user32 kernel32)
    target_compile_definitions(${target} PRIVATE UNICODE _UNICODE)
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(DESKTOP_XCB REQUIRED IMPORTED_TARGET xcb)
    add_executable(${target} ${arg_LINUX})
    target_include_directories(${target} PRIVATE $<TARGET_PROPERTY:revdir_platform,INTERFACE_INCLUDE_DIRECTORIES>)
    target_link_libraries(${target} PRIVATE PkgConfig::DESKTOP_XCB)
  endif()
endfunction()

# revdir_asio(TARGET [PUBLIC|PRIVATE]): standalone Asio, headers only and the
# same for both targets; on Windows it needs the socket libraries (and the IP
# helper, for the names and addresses of the network adapters), and the
# cross build sees Debian's copy through links, not the whole of
# /usr/include.
function(revdir_asio target scope)
  if(WIN32)
    set(dir ${CMAKE_BINARY_DIR}/asio-include)
    if(NOT EXISTS ${dir}/asio.hpp)
      file(MAKE_DIRECTORY ${dir})
      file(CREATE_LINK /usr/include/asio.hpp ${dir}/asio.hpp SYMBOLIC)
      file(CREATE_LINK /usr/include/asio ${dir}/asio SYMBOLIC)
    endif()
    target_link_libraries(${target} ${scope} ws2_32 mswsock iphlpapi)
    target_compile_definitions(${target} ${scope} _WIN32_WINNT=0x0601)
  else()
    find_path(ASIO_INCLUDE_DIR asio.hpp REQUIRED)
    set(dir ${ASIO_INCLUDE_DIR})
  endif()
  target_compile_definitions(${target} ${scope} ASIO_STANDALONE ASIO_NO_DEPRECATED)
  target_include_directories(${target} ${scope} ${dir})
endfunction()

# revdir_add_resources(TARGET RCFILE [INCLUDE_DIRS dir...] [DEPENDS ...]):
# a module's Windows resources (cmake/Resources.cmake): on Windows the
# toolchain compiles them into the image, here they are embedded as the
# standard .res file.
if(WIN32)
  enable_language(RC)
endif()
function(revdir_add_resources target rcfile)
  get_filename_component(rc ${rcfile} ABSOLUTE)
  if(WIN32)
    revdir_link_resources(${target} ${rc} ${ARGN})
  else()
    revdir_embed_resources(${target} ${rc} ${ARGN})
  endif()
endfunction()

# revdir_tool(TARGET COMPONENT): the command-line tool and where it finds
# the component's module COMPONENT: a path relative to the folder
# REVDIR_INSTALLED_COMPONENT_UP levels above its own, else
# REVDIR_DEFAULT_COMPONENT. On Windows the module beside it, as Windows finds
# a DLL, and the tool in the build folder beside the DLL and linked
# statically; here the library folder under its own prefix, else the module
# built with it.
function(revdir_tool target component)
  if(WIN32)
    target_compile_definitions(${target} PRIVATE REVDIR_INSTALLED_COMPONENT_UP=0
      REVDIR_INSTALLED_COMPONENT="$<TARGET_FILE_NAME:${component}>"
      REVDIR_DEFAULT_COMPONENT="$<TARGET_FILE_NAME:${component}>")
    target_link_options(${target} PRIVATE -static)
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  else()
    include(GNUInstallDirs)
    target_compile_definitions(${target} PRIVATE REVDIR_INSTALLED_COMPONENT_UP=1
      REVDIR_INSTALLED_COMPONENT="${CMAKE_INSTALL_LIBDIR}/$<TARGET_FILE_NAME:${component}>"
      REVDIR_DEFAULT_COMPONENT="$<TARGET_FILE:${component}>")
  endif()
endfunction()

# revdir_program(TARGET): a program that needs nothing beyond the system's
# own libraries on Windows.
function(revdir_program target)
  if(WIN32)
    target_link_options(${target} PRIVATE -static)
  endif()
endfunction()

# revdir_test(NAME SOURCES... [LINUX_SOURCES...] [ONE_PROCESS] [NO_MAIN] [NO_GTEST])
# LINUX_SOURCES test what only the platform layer has (its prefix, its files);
# ONE_PROCESS runs the program as one test (per-process state shared by all);
# NO_GTEST is a program with checks of its own (a client in C), one test that
# passes when it exits with 0.
function(revdir_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "ONE_PROCESS;NO_MAIN;NO_GTEST" "" "SOURCES;LINUX_SOURCES")
  set(gtest gtest)
  set(main gtest_main)
  if(arg_NO_MAIN)
    set(main)
  endif()
  if(arg_NO_GTEST)
    set(gtest)
    set(main)
    set(arg_ONE_PROCESS ON)
  endif()
  if(WIN32)
    add_executable(${name} ${arg_SOURCES})
    target_link_libraries(${name} PRIVATE revdir_platform ${gtest} ${main})
    target_link_options(${name} PRIVATE -static)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
    set_property(GLOBAL APPEND PROPERTY REVDIR_WINDOWS_TESTS ${name})
  else()
    add_executable(${name} ${arg_SOURCES} ${arg_LINUX_SOURCES})
    list(TRANSFORM gtest PREPEND GTest::)
    list(TRANSFORM main PREPEND GTest::)
    target_link_libraries(${name} PRIVATE revdir_platform ${gtest} ${main} Threads::Threads)
    if(arg_ONE_PROCESS)
      add_test(NAME ${name} COMMAND ${name})
      set_tests_properties(${name} PROPERTIES TIMEOUT 300)
    else()
      gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
    endif()
  endif()
  # The tests' own helpers, and the tree itself: the layers' headers by their
  # folder ("catalog/registry_keys.h", "platform/text/wide_text.h").
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support ${PROJECT_SOURCE_DIR})
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
