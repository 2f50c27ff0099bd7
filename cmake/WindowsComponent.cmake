# The component as a Windows DLL, against the real Windows headers and
# libraries: the type library and its header by widl, the resources by
# windres, the exports by a .def file.
enable_language(RC)
find_program(WIDL NAMES x86_64-w64-mingw32-widl widl REQUIRED)

set(gen ${CMAKE_CURRENT_BINARY_DIR}/generated)
file(MAKE_DIRECTORY ${gen})
set(idl ${PROJECT_SOURCE_DIR}/resources/QuillonRevisionDirectory.idl)
# Debian's mingw-w64 ships the SDK headers but not its .idl files; widl reads
# small stand-ins for the imported system interfaces (the header it writes
# includes the real SDK headers) and a stdole2.tlb made from its stand-in.
set(sdkidl ${PROJECT_SOURCE_DIR}/cmake/widl)
add_custom_command(
  OUTPUT ${gen}/stdole2.tlb
  COMMAND ${WIDL} -m64 -I ${sdkidl} -t -o ${gen}/stdole2.tlb ${sdkidl}/stdole2.idl
  DEPENDS ${sdkidl}/stdole2.idl
  COMMENT "widl stdole2.idl")
# widl_outputs(idl NAME headers_dir tlb_dir): NAME.h and NAME_i.c in
# headers_dir, NAME.tlb in tlb_dir.
function(widl_outputs idl name hdir tdir)
  add_custom_command(
    OUTPUT ${hdir}/${name}.h ${hdir}/${name}_i.c ${tdir}/${name}.tlb
    COMMAND ${WIDL} -m64 --win64 -I ${sdkidl} -L ${gen} -h -H ${hdir}/${name}.h
            -u -U ${hdir}/${name}_i.c -t -T ${tdir}/${name}.tlb ${idl}
    DEPENDS ${idl} ${gen}/stdole2.tlb
    COMMENT "widl ${name}.idl")
endfunction()
widl_outputs(${idl} QuillonRevisionDirectory ${gen} ${gen})

set(rc ${PROJECT_SOURCE_DIR}/resources/QuillonRevisionDirectory.rc)
set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS
  "${gen}/QuillonRevisionDirectory.tlb;${PROJECT_SOURCE_DIR}/resources/RevisionDirectory.rgs")

include(${PROJECT_SOURCE_DIR}/sources.cmake)
add_library(revdir_registrar STATIC ${REVDIR_REGISTRAR_SOURCES})
target_include_directories(revdir_registrar PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_definitions(revdir_registrar PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN)
target_link_libraries(revdir_registrar PUBLIC advapi32)

add_library(QuillonRevisionDirectory SHARED
  ${REVDIR_CATALOG_SOURCES} ${REVDIR_COMPONENT_SOURCES} ${REVDIR_SCAN_SOURCES}
  ${gen}/QuillonRevisionDirectory_i.c
  ${rc}
  resources/QuillonRevisionDirectory.def)
set_target_properties(QuillonRevisionDirectory PROPERTIES PREFIX "" OUTPUT_NAME QuillonRevisionDirectory)
target_include_directories(QuillonRevisionDirectory PRIVATE ${PROJECT_SOURCE_DIR} ${gen})
target_compile_definitions(QuillonRevisionDirectory PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN)
# The resource compiler finds the scripts beside the .rc and the .tlb in the build.
target_include_directories(QuillonRevisionDirectory PRIVATE ${PROJECT_SOURCE_DIR}/resources)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I ${gen} -I ${PROJECT_SOURCE_DIR}/resources")
# Fully static: the DLL needs nothing beyond the system's own DLLs (the posix
# thread model would otherwise need libwinpthread-1.dll).
target_link_options(QuillonRevisionDirectory PRIVATE -static -Wl,--enable-stdcall-fixup)
target_link_libraries(QuillonRevisionDirectory PRIVATE revdir_registrar ole32 oleaut32 uuid advapi32 user32 kernel32)

# What a C++ client compiles against: the header and identifiers widl wrote.
add_library(QuillonRevisionDirectory_client INTERFACE)
target_include_directories(QuillonRevisionDirectory_client INTERFACE ${gen})
target_sources(QuillonRevisionDirectory_client INTERFACE ${gen}/QuillonRevisionDirectory_i.c)
