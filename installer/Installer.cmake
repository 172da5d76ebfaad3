# The setup program TillvoxSetup-<version>.exe, written beside Tillvox.exe by every
# Windows build when makensis is present. A 64-bit build gets a 64-bit setup of the
# same script (it still installs into the 32-bit Program Files folder).
find_program(MAKENSIS makensis)
if(NOT MAKENSIS)
  message(STATUS "makensis not found: no setup program")
  return()
endif()

file(STRINGS ${CMAKE_SOURCE_DIR}/res/Tillvox.rc _version_line REGEX "VALUE \"ProductVersion\"")
string(REGEX MATCH "[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+" TILLVOX_VERSION "${_version_line}")
if(NOT TILLVOX_VERSION)
  message(FATAL_ERROR "no ProductVersion in res/Tillvox.rc")
endif()

set(TILLVOX_SETUP ${CMAKE_BINARY_DIR}/bin/TillvoxSetup-${TILLVOX_VERSION}.exe)
set(_nsis_defines -DVERSION=${TILLVOX_VERSION} -DBIN_DIR=${CMAKE_BINARY_DIR}/bin -DOUT_FILE=${TILLVOX_SETUP})
set(_setup_deps Tillvox TillvoxAgent dvrsim)
set(_setup_files $<TARGET_FILE:Tillvox> $<TARGET_FILE:TillvoxAgent> $<TARGET_FILE:dvrsim>)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  list(APPEND _nsis_defines -DAMD64)
endif()
if(TARGET possim)
  list(APPEND _nsis_defines -DHAVE_POSSIM)
  list(APPEND _setup_deps possim)
  list(APPEND _setup_files $<TARGET_FILE:possim>)
endif()

file(GLOB _setup_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/installer/*)
add_custom_command(OUTPUT ${TILLVOX_SETUP}
  COMMAND ${MAKENSIS} -V2 -NOCD ${_nsis_defines} ${CMAKE_SOURCE_DIR}/installer/Tillvox.nsi
  DEPENDS ${_setup_deps} ${_setup_files} ${_setup_sources} ${CMAKE_SOURCE_DIR}/lang/Tillvox.xml
          ${CMAKE_SOURCE_DIR}/res/Tillvox.ico
  COMMENT "Writing the setup program TillvoxSetup-${TILLVOX_VERSION}.exe"
  VERBATIM)
add_custom_target(TillvoxSetup ALL DEPENDS ${TILLVOX_SETUP})
# The test starts the installed program as an administrator's limited start does,
# and reads its Start button to know when capture runs.
add_executable(controltext ${CMAKE_SOURCE_DIR}/tests/installer/ControlText_win.cpp)
target_compile_options(controltext PRIVATE ${TILLVOX_WARNINGS})
set_target_properties(controltext PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/test-tools)
add_dependencies(TillvoxSetup runlimited controltext)

# The real setup program under Wine, in a prefix of the test's own (made and removed by the test).
add_test(NAME win.Installer COMMAND bash ${CMAKE_SOURCE_DIR}/tests/installer/Installer_test.sh ${TILLVOX_SETUP}
  ${CMAKE_BINARY_DIR}/test-tools)
# Long: started first, so that it runs beside the others.
set_tests_properties(win.Installer PROPERTIES TIMEOUT 600 COST 1000)
