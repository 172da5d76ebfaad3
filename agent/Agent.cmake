# The startup agent TillvoxAgent.exe: a second program, a service that starts
# Tillvox.exe with full rights for the user at the console. Its decisions build
# natively too and are tested under the sanitizers; the service is tested under Wine.
file(GLOB _agent_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/agent/*.cpp)
set(_agent_pure)
set(_agent_win)
foreach(f ${_agent_sources})
  if(f MATCHES "_win\\.cpp$")
    list(APPEND _agent_win ${f})
  else()
    list(APPEND _agent_pure ${f})
  endif()
endforeach()
list(REMOVE_ITEM _agent_win ${CMAKE_SOURCE_DIR}/agent/AgentMain_win.cpp)

if(NOT WIN32)
  add_library(tillvox_agent_pure STATIC ${_agent_pure})
  target_include_directories(tillvox_agent_pure PUBLIC ${CMAKE_SOURCE_DIR})
  target_compile_options(tillvox_agent_pure PRIVATE ${TILLVOX_WARNINGS})
  tillvox_add_test_program(native_AgentRequests_test TestPch ${CMAKE_SOURCE_DIR}/tests/agent/AgentRequests_test.cpp)
  target_link_libraries(native_AgentRequests_test PRIVATE tillvox_agent_pure pthread)
  add_test(NAME native.AgentRequests_test COMMAND native_AgentRequests_test)
  set_tests_properties(native.AgentRequests_test PROPERTIES TIMEOUT 300
    ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1")
  return()
endif()

add_library(tillvox_agent STATIC ${_agent_pure} ${_agent_win})
target_include_directories(tillvox_agent PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(tillvox_agent PRIVATE ${TILLVOX_WARNINGS})
target_link_libraries(tillvox_agent PUBLIC tillvox_core wtsapi32 userenv advapi32)

add_executable(TillvoxAgent ${CMAKE_SOURCE_DIR}/agent/AgentMain_win.cpp)
target_compile_options(TillvoxAgent PRIVATE ${TILLVOX_WARNINGS})
target_link_libraries(TillvoxAgent PRIVATE tillvox_agent)
set_target_properties(TillvoxAgent PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# Starts a program as an administrator under user account control would without
# asking: with the filtered (limited) half of the caller's token. For tests only.
add_executable(runlimited ${CMAKE_SOURCE_DIR}/tests/agent/RunLimited_win.cpp)
target_compile_options(runlimited PRIVATE ${TILLVOX_WARNINGS})
set_target_properties(runlimited PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/test-tools)

tillvox_add_test_program(win_AgentService_test TestPchWindows ${CMAKE_SOURCE_DIR}/tests/agent/AgentService_test.cpp)
target_link_libraries(win_AgentService_test PRIVATE tillvox_agent)
add_dependencies(win_AgentService_test TillvoxAgent Tillvox runlimited)
add_test(NAME win.AgentService_test COMMAND bash ${CMAKE_SOURCE_DIR}/tests/support/in-test-slot.sh
         ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:win_AgentService_test>)
set_tests_properties(win.AgentService_test PROPERTIES TIMEOUT 300
  ENVIRONMENT "WINEDEBUG=-all;TILLVOX_BIN_DIR=${CMAKE_BINARY_DIR}/bin;TILLVOX_TEST_TOOLS_DIR=${CMAKE_BINARY_DIR}/test-tools")
# It installs the real service and starts the program in a test slot's data
# folder; the elevation test reads the real service's state.
set_tests_properties(win.AgentService_test PROPERTIES RESOURCE_GROUPS "prefix:1")
set_property(TEST win.AgentService_test APPEND PROPERTY RESOURCE_LOCK startup_agent_service)
if(TEST win.Elevation_test)
  set_property(TEST win.Elevation_test APPEND PROPERTY RESOURCE_LOCK startup_agent_service)
endif()
