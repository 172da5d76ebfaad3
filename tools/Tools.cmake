# Tools built for both sides: natively (the tests use them as peers) and for Windows (installers).
# tools/common holds what several tools share (the portable socket layer); every tool gets it.
file(GLOB _tool_common CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/common/*.cpp)
# A tool folder with a Tool.cmake of its own builds as that file says; any
# other builds every .cpp in it into one program named after the folder.
file(GLOB _tool_dirs LIST_DIRECTORIES true ${CMAKE_SOURCE_DIR}/tools/*)
foreach(d ${_tool_dirs})
  if(IS_DIRECTORY ${d} AND NOT d STREQUAL "${CMAKE_SOURCE_DIR}/tools/common")
    get_filename_component(tool ${d} NAME)
    file(GLOB _tool_src CONFIGURE_DEPENDS ${d}/*.cpp)
    if(NOT WIN32)
      list(FILTER _tool_src EXCLUDE REGEX "_win\\.cpp$")  # a Windows-only tool is not built natively
    endif()
    if(EXISTS ${d}/Tool.cmake)
      include(${d}/Tool.cmake)
    elseif(_tool_src)
      add_executable(${tool} ${_tool_src} ${_tool_common})
      target_compile_options(${tool} PRIVATE ${TILLVOX_WARNINGS})
      if(WIN32)
        target_link_libraries(${tool} PRIVATE tillvox_core)
      else()
        target_link_libraries(${tool} PRIVATE tillvox_pure)
      endif()
      target_include_directories(${tool} PRIVATE ${CMAKE_SOURCE_DIR})
      set_target_properties(${tool} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
    endif()
  endif()
endforeach()
