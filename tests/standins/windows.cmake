# The stand-ins as Windows programs, beside the test programs that use them.
set(standins_dir ${PROJECT_SOURCE_DIR}/tests/standins)
add_executable(standin_quillon_app ${standins_dir}/quillon_app.cpp)
target_link_options(standin_quillon_app PRIVATE -municode -static)
target_link_libraries(standin_quillon_app PRIVATE user32 kernel32)
add_library(standin_automation_server MODULE ${standins_dir}/automation_server.cpp)
set_target_properties(standin_automation_server PROPERTIES PREFIX "")
target_link_options(standin_automation_server PRIVATE -static)
target_link_libraries(standin_automation_server PRIVATE ole32 oleaut32 uuid kernel32)
foreach(t standin_quillon_app standin_automation_server)
  target_compile_definitions(${t} PRIVATE UNICODE _UNICODE)
endforeach()

foreach(suite platform_tests component_tests)
  if(TARGET ${suite})
    get_target_property(dir ${suite} RUNTIME_OUTPUT_DIRECTORY)
    if(dir)
      add_custom_command(TARGET ${suite} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:standin_quillon_app> $<TARGET_FILE:standin_automation_server> ${dir}/)
    endif()
    add_dependencies(${suite} standin_quillon_app standin_automation_server)
    target_include_directories(${suite} PRIVATE ${standins_dir})
    # Names only: the tests look for them beside the program.
    target_compile_definitions(${suite} PRIVATE
      REVDIR_STANDIN_APP="standin_quillon_app.exe" REVDIR_STANDIN_SERVER="standin_automation_server.dll")
  endif()
endforeach()
