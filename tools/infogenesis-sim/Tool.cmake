# The Infogenesis simulator: the adapter library (Windows only, built as
# InfogenesisPos.dll in a folder of its own so that only who copies it beside
# the program gets it) and the command sender (both sides).
set(_sim ${CMAKE_SOURCE_DIR}/tools/infogenesis-sim)
add_executable(infogenesis-send ${_sim}/Sender.cpp ${CMAKE_SOURCE_DIR}/tools/common/SimSocket.cpp)
target_compile_options(infogenesis-send PRIVATE ${TILLVOX_WARNINGS})
target_include_directories(infogenesis-send PRIVATE ${CMAKE_SOURCE_DIR})
set_target_properties(infogenesis-send PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
if(WIN32)
  target_link_libraries(infogenesis-send PRIVATE ws2_32)
  add_library(infogenesis-sim SHARED ${_sim}/SimAdapter.cpp)
  target_compile_options(infogenesis-sim PRIVATE ${TILLVOX_WARNINGS})
  target_include_directories(infogenesis-sim PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(infogenesis-sim PRIVATE ws2_32)
  set_target_properties(infogenesis-sim PROPERTIES OUTPUT_NAME InfogenesisPos PREFIX ""
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/infogenesis-sim)
  # The tests start the program with the simulator beside it.
  add_dependencies(Tillvox infogenesis-sim)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    # The 32-bit machine code must follow the library's calling convention.
    add_custom_command(TARGET Tillvox POST_BUILD
      COMMAND ${_sim}/check-thiscall.sh $<TARGET_FILE:Tillvox> $<TARGET_FILE:infogenesis-sim>
      COMMENT "Checking the Infogenesis calling convention in the 32-bit code")
  endif()
endif()
