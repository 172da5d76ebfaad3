# The message table that lets Event Viewer show the program's entries in the
# Application log: compiled from res/EventMessages.mc by windmc (from the same
# MinGW binutils as windres) and linked into Tillvox.exe's resources.
string(REGEX REPLACE "windres$" "windmc" TILLVOX_WINDMC "${CMAKE_RC_COMPILER}")
set(_mc_source ${CMAKE_SOURCE_DIR}/res/EventMessages.mc)
set(_mc_out ${CMAKE_BINARY_DIR}/eventmessages)
add_custom_command(
  OUTPUT ${_mc_out}/EventMessages.rc ${_mc_out}/EventMessages.h ${_mc_out}/MSG00409.bin
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_mc_out}
  COMMAND ${TILLVOX_WINDMC} -h ${_mc_out} -r ${_mc_out} ${_mc_source}
  DEPENDS ${_mc_source}
  VERBATIM)
target_sources(Tillvox PRIVATE ${_mc_out}/EventMessages.rc)
