# revdir_idl(target idlfile): compiles an interface description with
# tools/gen/idl2cpp.py at build time. The target gets the generated header
# (<stem>.h on its include path), the source defining the GUIDs, and the
# serialized type library <stem>.tlb, whose path is the target's property
# REVDIR_TYPELIB (for embedding as its TYPELIB resource).
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(REVDIR_IDL2CPP ${CMAKE_CURRENT_LIST_DIR}/../tools/gen/idl2cpp.py)

function(revdir_idl target idlfile)
  get_filename_component(idl ${idlfile} ABSOLUTE)
  get_filename_component(stem ${idl} NAME_WE)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/idl_${target})
  set(header ${out}/${stem}.h)
  set(iids ${out}/${stem}_i.cpp)
  set(tlb ${out}/${stem}.tlb)
  file(MAKE_DIRECTORY ${out})
  add_custom_command(
    OUTPUT ${header} ${iids} ${tlb}
    COMMAND Python3::Interpreter ${REVDIR_IDL2CPP} ${idl} --header ${header} --iid ${iids} --tlb ${tlb}
    DEPENDS ${idl} ${REVDIR_IDL2CPP}
    COMMENT "Compiling ${stem}.idl"
    VERBATIM)
  target_sources(${target} PRIVATE ${header} ${iids})
  target_include_directories(${target} PUBLIC ${out})
  # The type library is a build product of the target even when nothing compiles it in.
  add_custom_target(${target}_typelib DEPENDS ${tlb})
  add_dependencies(${target} ${target}_typelib)
  set_target_properties(${target} PROPERTIES REVDIR_TYPELIB ${tlb})
endfunction()
