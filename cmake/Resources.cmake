# Windows resources of a module. The .rc script is the single source: on
# Windows the resource compiler builds it; here tools/gen/rc2cpp.py turns it
# into a C++ source defining the module's resource directory, which the
# platform layer's FindResource/LoadString find in the loaded module.
#
#   revdir_add_resources(target rcfile [INCLUDE_DIRS dir...] [DEPENDS file-or-target...])
#
# Headers and binary files named by the script are looked up beside it, then
# in INCLUDE_DIRS, then in the current binary folder (for generated files).
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(REVDIR_RC2CPP ${CMAKE_CURRENT_LIST_DIR}/../tools/gen/rc2cpp.py CACHE INTERNAL "")

function(revdir_add_resources target rcfile)
  cmake_parse_arguments(PARSE_ARGV 2 ARG "" "" "INCLUDE_DIRS;DEPENDS")
  get_filename_component(rc ${rcfile} ABSOLUTE)
  get_filename_component(stem ${rc} NAME_WE)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_${stem}_rc.cpp)
  set(includes)
  foreach(dir ${ARG_INCLUDE_DIRS} ${CMAKE_CURRENT_BINARY_DIR})
    get_filename_component(dir ${dir} ABSOLUTE)
    list(APPEND includes -I ${dir})
  endforeach()
  add_custom_command(
    OUTPUT ${out}
    COMMAND Python3::Interpreter ${REVDIR_RC2CPP} ${rc} ${out} ${includes} --depfile ${out}.d
    DEPENDS ${rc} ${REVDIR_RC2CPP} ${ARG_DEPENDS}
    DEPFILE ${out}.d
    COMMENT "Compiling resources ${rcfile}"
    VERBATIM)
  target_sources(${target} PRIVATE ${out})
  # The platform layer looks the directory up by name in the loaded image;
  # an executable exports it explicitly (libraries export it by visibility).
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    target_link_options(${target} PRIVATE "LINKER:--export-dynamic-symbol=revdir_resource_directory")
  endif()
endfunction()
