# Windows resources of a module. The .rc script is the single source, and one
# compiler reads it on both targets: windres. On Windows it links the
# resources into the image; here it writes the standard .res file, which a
# small generated source embeds in the module between two exported symbols,
# where the platform layer's FindResource/LoadString read it.
#
#   revdir_add_resources(target rcfile [INCLUDE_DIRS dir...] [DEPENDS file-or-target...])
#
# Headers and binary files named by the script are looked up beside it, then
# in INCLUDE_DIRS, then in the current binary folder (for generated files),
# then in the platform's Windows headers (<windows.h> in a script).
find_program(REVDIR_WINDRES NAMES x86_64-w64-mingw32-windres windres REQUIRED)
set(REVDIR_PLATFORM_INCLUDE ${CMAKE_CURRENT_LIST_DIR}/../platform/include CACHE INTERNAL "")

# The two ways, which revdir_add_resources() (cmake/Targets.cmake) chooses
# between by target.
function(revdir_link_resources target rc)
  cmake_parse_arguments(PARSE_ARGV 2 ARG "" "" "INCLUDE_DIRS;DEPENDS")
  get_filename_component(rcdir ${rc} DIRECTORY)
  # The toolchain's windres compiles the script with the target's sources.
  set(includes)
  foreach(dir ${rcdir} ${ARG_INCLUDE_DIRS} ${CMAKE_CURRENT_BINARY_DIR})
    get_filename_component(dir ${dir} ABSOLUTE)
    list(APPEND includes -I ${dir})
  endforeach()
  set(files)
  foreach(dep ${ARG_DEPENDS})
    if(TARGET ${dep})
      add_dependencies(${target} ${dep})
    else()
      list(APPEND files ${dep})
    endif()
  endforeach()
  set_source_files_properties(${rc} PROPERTIES COMPILE_OPTIONS "${includes}" OBJECT_DEPENDS "${files}")
  target_sources(${target} PRIVATE ${rc})
endfunction()

function(revdir_embed_resources target rc)
  cmake_parse_arguments(PARSE_ARGV 2 ARG "" "" "INCLUDE_DIRS;DEPENDS")
  get_filename_component(rcdir ${rc} DIRECTORY)
  get_filename_component(stem ${rc} NAME_WE)
  set(res ${CMAKE_CURRENT_BINARY_DIR}/${target}_${stem}.res)
  set(embed ${CMAKE_CURRENT_BINARY_DIR}/${target}_${stem}_res.c)
  set(includes)
  foreach(dir ${rcdir} ${ARG_INCLUDE_DIRS} ${CMAKE_CURRENT_BINARY_DIR} ${REVDIR_PLATFORM_INCLUDE})
    get_filename_component(dir ${dir} ABSOLUTE)
    list(APPEND includes -I ${dir})
  endforeach()
  # The host's C preprocessor stands in for the cross compiler, which the
  # Linux build does not need.
  add_custom_command(
    OUTPUT ${res}
    COMMAND ${REVDIR_WINDRES} -O res --preprocessor=${CMAKE_C_COMPILER}
            --preprocessor-arg=-E --preprocessor-arg=-xc --preprocessor-arg=-DRC_INVOKED
            --preprocessor-arg=-MD --preprocessor-arg=-MF --preprocessor-arg=${res}.d
            --preprocessor-arg=-MT --preprocessor-arg=${res}
            ${includes} -i ${rc} -o ${res}
    DEPENDS ${rc} ${ARG_DEPENDS}
    DEPFILE ${res}.d
    COMMENT "windres ${stem}.rc"
    VERBATIM)
  file(WRITE ${embed}.in
    "/* The module's resources as windres wrote them (generated). */\n"
    "__asm__(\".section .rodata\\n\"\n"
    "        \".balign 4\\n\"\n"
    "        \".globl revdir_resources\\n\"\n"
    "        \"revdir_resources:\\n\"\n"
    "        \".incbin \\\"${res}\\\"\\n\"\n"
    "        \".globl revdir_resources_end\\n\"\n"
    "        \"revdir_resources_end:\\n\"\n"
    "        \".previous\\n\");\n")
  configure_file(${embed}.in ${embed} COPYONLY)
  set_source_files_properties(${embed} PROPERTIES OBJECT_DEPENDS ${res})
  target_sources(${target} PRIVATE ${embed})
  # The platform layer looks the resources up by name in the loaded image;
  # an executable exports them explicitly (libraries export them as globals).
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    target_link_options(${target} PRIVATE "LINKER:--export-dynamic-symbol=revdir_resources"
                        "LINKER:--export-dynamic-symbol=revdir_resources_end")
  endif()
endfunction()

# revdir_version_resource(TARGET DESCRIPTION text [RC rcfile]
#                         [INCLUDE_DIRS dir...] [DEPENDS ...]):
# the version resource of a binary we ship, from resources/version.rc.in and
# the project's version. A module with a script of its own names it as RC:
# one script, which includes it, is compiled for the target.
set(REVDIR_VERSION_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/../resources/version.rc.in CACHE INTERNAL "")
set(REVDIR_COMPANY "Brenmoor Software" CACHE INTERNAL "")
set(REVDIR_PRODUCT "Quillon Revision Directory" CACHE INTERNAL "")
function(revdir_version_resource target)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "DESCRIPTION;RC" "INCLUDE_DIRS;DEPENDS")
  get_target_property(type ${target} TYPE)
  set(VERSION_FILETYPE VFT_DLL)
  if(type STREQUAL "EXECUTABLE")
    set(VERSION_FILETYPE VFT_APP)
  endif()
  set(VERSION_TARGET ${target})
  set(VERSION_INTERNAL_NAME ${target})
  set(VERSION_DESCRIPTION "${ARG_DESCRIPTION}")
  set(VERSION_COMPANY "${REVDIR_COMPANY}")
  set(VERSION_PRODUCT "${REVDIR_PRODUCT}")
  set(VERSION_RC_INCLUDE "")
  set(includes ${ARG_INCLUDE_DIRS})
  if(ARG_RC)
    get_filename_component(own ${ARG_RC} ABSOLUTE)
    get_filename_component(owndir ${own} DIRECTORY)
    set(VERSION_RC_INCLUDE "#include \"${own}\"")
    list(APPEND includes ${owndir})
  endif()
  # The file name is the target's, known only when the build is generated.
  set(configured ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc.in)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${REVDIR_VERSION_TEMPLATE} ${configured} @ONLY)
  file(GENERATE OUTPUT ${rc} INPUT ${configured})
  revdir_add_resources(${target} ${rc} INCLUDE_DIRS ${includes} DEPENDS ${REVDIR_VERSION_TEMPLATE} ${ARG_RC} ${ARG_DEPENDS})
endfunction()
