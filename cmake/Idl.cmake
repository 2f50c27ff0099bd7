# Interface descriptions, compiled by widl on both targets: the header, the
# identifiers (IIDs, CLSIDs, LIBID) and the type library in the standard
# binary format, which the Linux platform reads as Windows does.
#
# Debian's mingw-w64 ships the SDK headers but not its .idl files; widl reads
# small stand-ins for the imported system interfaces, and a stdole2.tlb made
# from its stand-in, once per build.
find_program(REVDIR_WIDL NAMES x86_64-w64-mingw32-widl widl REQUIRED)
set(REVDIR_SDK_IDL ${CMAKE_CURRENT_LIST_DIR}/widl CACHE INTERNAL "")
set(REVDIR_STDOLE2 ${CMAKE_BINARY_DIR}/generated/stdole2.tlb CACHE INTERNAL "")
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/generated)
add_custom_command(
  OUTPUT ${REVDIR_STDOLE2}
  COMMAND ${REVDIR_WIDL} -m64 -I ${REVDIR_SDK_IDL} -t -o ${REVDIR_STDOLE2} ${REVDIR_SDK_IDL}/stdole2.idl
  DEPENDS ${REVDIR_SDK_IDL}/stdole2.idl
  COMMENT "widl stdole2.idl")
add_custom_target(revdir_stdole2 DEPENDS ${REVDIR_STDOLE2})

# widl_outputs(idl NAME headers_dir tlb_dir): NAME.h and NAME_i.c in
# headers_dir, NAME.tlb in tlb_dir.
function(widl_outputs idl name hdir tdir)
  file(MAKE_DIRECTORY ${hdir} ${tdir})
  add_custom_command(
    OUTPUT ${hdir}/${name}.h ${hdir}/${name}_i.c ${tdir}/${name}.tlb
    COMMAND ${REVDIR_WIDL} -m64 --win64 -I ${REVDIR_SDK_IDL} -L ${CMAKE_BINARY_DIR}/generated
            -h -H ${hdir}/${name}.h -u -U ${hdir}/${name}_i.c -t -T ${tdir}/${name}.tlb ${idl}
    DEPENDS ${idl} ${REVDIR_STDOLE2} revdir_stdole2
    COMMENT "widl ${name}.idl")
endfunction()

# revdir_idl(target idlfile): the target compiles the identifiers and sees
# the header (<stem>.h on its include path); the path of the type library
# <stem>.tlb is its property REVDIR_TYPELIB (for embedding as its TYPELIB
# resource). Here the identifiers compile as C++, the language of the
# platform's headers, through <stem>_i.cpp.
function(revdir_idl target idlfile)
  get_filename_component(idl ${idlfile} ABSOLUTE)
  get_filename_component(stem ${idl} NAME_WE)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/idl_${target})
  widl_outputs(${idl} ${stem} ${out} ${out})
  set(iids ${out}/${stem}_i.cpp)
  file(WRITE ${iids}.in "// The identifiers widl wrote, compiled as C++ (generated).\n#include \"${stem}_i.c\"\n")
  configure_file(${iids}.in ${iids} COPYONLY)
  set_source_files_properties(${iids} PROPERTIES OBJECT_DEPENDS ${out}/${stem}_i.c)
  target_sources(${target} PRIVATE ${iids})
  target_include_directories(${target} PUBLIC ${out})
  # The type library is a build product of the target even when nothing compiles it in.
  # It also makes widl's header, so that libraries linked into the target can
  # see the header without waiting on the target's own link dependencies.
  add_custom_target(${target}_typelib DEPENDS ${out}/${stem}.tlb ${out}/${stem}.h ${out}/${stem}_i.c)
  add_dependencies(${target} ${target}_typelib)
  set_target_properties(${target} PROPERTIES REVDIR_TYPELIB ${out}/${stem}.tlb)
endfunction()
