# The component as a Windows DLL, against the real Windows headers and
# libraries: the header, identifiers and type library by widl (the rule in
# Idl.cmake, shared with the Linux build), the resources by windres, the
# exports by a .def file.
enable_language(RC)
include(${CMAKE_CURRENT_LIST_DIR}/Idl.cmake)

set(gen ${CMAKE_CURRENT_BINARY_DIR}/generated)
set(idl ${PROJECT_SOURCE_DIR}/resources/QuillonRevisionDirectory.idl)
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
  ${REVDIR_CATALOG_SOURCES} ${REVDIR_COMPONENT_SOURCES} ${REVDIR_SCAN_SOURCES} ${REVDIR_ONLINE_SOURCES}
  ${REVDIR_COMM_SOURCES}
  ${gen}/QuillonRevisionDirectory_i.c
  ${rc}
  resources/QuillonRevisionDirectory.def)
set_target_properties(QuillonRevisionDirectory PROPERTIES PREFIX "" OUTPUT_NAME QuillonRevisionDirectory)
# The communications library's sources include their own headers and the
# client library's one by name.
target_include_directories(QuillonRevisionDirectory PRIVATE ${PROJECT_SOURCE_DIR} ${gen} ${PROJECT_SOURCE_DIR}/comm
  ${PROJECT_SOURCE_DIR}/commserver/include)
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
