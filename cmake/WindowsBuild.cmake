# Cross build for 32-bit Windows: the program, its tools and the tests that run under Wine.
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
add_link_options(-static -static-libgcc -static-libstdc++)
set(TILLVOX_WIN_LIBS mswsock ws2_32 comctl32 comdlg32 ole32 oleaut32 uuid shlwapi shell32 advapi32 user32 gdi32 version)

add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# Tests and their support need no more than this; the program keeps the build type's.
set(TILLVOX_TEST_OPTIMIZE -O1)
target_compile_options(gtest PRIVATE ${TILLVOX_TEST_OPTIMIZE})

add_library(tillvox_core STATIC ${TILLVOX_PURE_SOURCES} ${TILLVOX_WIN_SOURCES})
target_include_directories(tillvox_core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(tillvox_core PRIVATE ${TILLVOX_WARNINGS})
target_link_libraries(tillvox_core PUBLIC ${TILLVOX_WIN_LIBS})
target_precompile_headers(tillvox_core PRIVATE ${CMAKE_SOURCE_DIR}/base/SystemHeaders_win.h)
set_source_files_properties(${TILLVOX_PURE_SOURCES} PROPERTIES SKIP_PRECOMPILE_HEADERS ON)

file(GLOB _rc CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/res/*.rc)
add_executable(Tillvox WIN32 ${CMAKE_SOURCE_DIR}/app/Main.cpp ${_rc})
target_compile_options(Tillvox PRIVATE ${TILLVOX_WARNINGS})
target_link_libraries(Tillvox PRIVATE tillvox_core)
set_target_properties(Tillvox PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
include(${CMAKE_SOURCE_DIR}/cmake/EventMessages.cmake)
if(EXISTS ${CMAKE_SOURCE_DIR}/lang/Tillvox.xml)
  # Copied whenever the file changes, not only when the program is linked again.
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/bin/Tillvox.xml
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_SOURCE_DIR}/lang/Tillvox.xml ${CMAKE_BINARY_DIR}/bin/Tillvox.xml
    DEPENDS ${CMAKE_SOURCE_DIR}/lang/Tillvox.xml)
  # The build fails when a key lacks a language's text or a dialog shows a text no key replaces.
  find_program(TILLVOX_PYTHON3 python3 REQUIRED)
  file(GLOB_RECURSE _ui_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/app/*.cpp ${CMAKE_SOURCE_DIR}/config/*.cpp
       ${CMAKE_SOURCE_DIR}/ui/*.cpp ${CMAKE_SOURCE_DIR}/capture/*.cpp ${CMAKE_SOURCE_DIR}/output/*.cpp
       ${CMAKE_SOURCE_DIR}/link/*.cpp)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/language-check.stamp
    COMMAND ${TILLVOX_PYTHON3} ${CMAKE_SOURCE_DIR}/scripts/check-language.py ${CMAKE_SOURCE_DIR}/lang/Tillvox.xml
            ${CMAKE_SOURCE_DIR}/res/Tillvox.rc ${CMAKE_BINARY_DIR}/language-check.stamp
            ${CMAKE_SOURCE_DIR}/app ${CMAKE_SOURCE_DIR}/config ${CMAKE_SOURCE_DIR}/ui ${CMAKE_SOURCE_DIR}/capture
            ${CMAKE_SOURCE_DIR}/output ${CMAKE_SOURCE_DIR}/link
    DEPENDS ${CMAKE_SOURCE_DIR}/scripts/check-language.py ${CMAKE_SOURCE_DIR}/lang/Tillvox.xml
            ${CMAKE_SOURCE_DIR}/res/Tillvox.rc ${_ui_sources}
    COMMENT "Checking the language file against the dialogs and the keys the program looks up")
  add_custom_target(TillvoxLanguageFile ALL DEPENDS ${CMAKE_BINARY_DIR}/bin/Tillvox.xml
                    ${CMAKE_BINARY_DIR}/language-check.stamp)
  add_dependencies(Tillvox TillvoxLanguageFile)
endif()

file(GLOB _support CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*.cpp)
add_library(tillvox_test_support STATIC ${_support})
target_link_libraries(tillvox_test_support PUBLIC tillvox_core GTest::gtest)
target_include_directories(tillvox_test_support PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(tillvox_test_support PRIVATE ${TILLVOX_TEST_OPTIMIZE})
include(${CMAKE_SOURCE_DIR}/cmake/TestPrograms.cmake)

# WINEPREFIX, DISPLAY and TILLVOX_NATIVE_BIN_DIR come from the test command's environment.
set(TILLVOX_WINE_ENV "WINEDEBUG=-all" "TILLVOX_BIN_DIR=${CMAKE_BINARY_DIR}/bin")
file(GLOB _tests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*_test.cpp ${CMAKE_SOURCE_DIR}/tests/win/*_test.cpp)
foreach(t ${_tests})
  get_filename_component(name ${t} NAME_WE)
  # The tests get the program's resources too, so that its dialogs can be made in-process.
  # Tests of the plain code do not get windows.h in their shared header.
  if(t MATCHES "/tests/unit/")
    tillvox_add_test_program(win_${name} TestPch ${t} ${_rc})
  else()
    tillvox_add_test_program(win_${name} TestPchWindows ${t} ${_rc})
  endif()
  add_dependencies(win_${name} Tillvox)  # some tests start the program itself
  if(name STREQUAL "DialogScreenshots_test")
    # One run per language, each under a locale whose code page holds its texts.
    foreach(shot en:C.UTF-8 ar:ar_SA.UTF-8 zh:zh_CN.UTF-8 de:de_DE.UTF-8 ru:ru_RU.UTF-8 th:th_TH.UTF-8)
      string(REPLACE ":" ";" shot "${shot}")
      list(GET shot 0 lang)
      list(GET shot 1 locale)
      # A display and a folder of its own: no other test's window in the pictures.
      # It sets the prefix's caption and menu fonts while it runs: a test slot of its own.
      add_test(NAME win.${name}.${lang}
               COMMAND bash ${CMAKE_SOURCE_DIR}/tests/support/in-test-slot.sh
                       ${CMAKE_SOURCE_DIR}/scripts/test-on-own-display.sh ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:win_${name}>)
      set_tests_properties(win.${name}.${lang} PROPERTIES TIMEOUT 300 RESOURCE_GROUPS "prefix:1"
        ENVIRONMENT "${TILLVOX_WINE_ENV};TILLVOX_SCREENSHOT_LANGUAGE=${lang};LANG=${locale};LC_ALL=${locale}")
    endforeach()
    continue()
  endif()
  # Tests that use the program's data folder, start the program or show its
  # windows run one at a time in each test slot (a Wine prefix and display of
  # its own, from the test command): see tests/support/in-test-slot.sh.
  set(_launch ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:win_${name}>)
  set(_slot FALSE)
  if(name MATCHES "^(Program|MainDialog|Resources|SourceDialogs)")
    set(_slot TRUE)
    set(_launch bash ${CMAKE_SOURCE_DIR}/tests/support/in-test-slot.sh ${_launch})
  endif()
  if(name STREQUAL "ProgramDiagnostics_test")
    # Wine keeps no event log: the test reads the program's entries from Wine's
    # debug output, which the program writes to the test's Unix standard error.
    set(_stderr ${CMAKE_BINARY_DIR}/${name}.stderr)
    add_test(NAME win.${name} COMMAND bash ${CMAKE_SOURCE_DIR}/tests/support/with-stderr-file.sh ${_stderr} ${_launch})
    set_tests_properties(win.${name} PROPERTIES TIMEOUT 300
      ENVIRONMENT "${TILLVOX_WINE_ENV};TILLVOX_STDERR_FILE=${_stderr}")
  else()
    add_test(NAME win.${name} COMMAND ${_launch})
    set_tests_properties(win.${name} PROPERTIES TIMEOUT 300 ENVIRONMENT "${TILLVOX_WINE_ENV}")
  endif()
  if(_slot)
    set_tests_properties(win.${name} PROPERTIES RESOURCE_GROUPS "prefix:1")
  endif()
endforeach()

# Started by the test command before any test: see the file's opening comment.
add_executable(session_holder ${CMAKE_SOURCE_DIR}/tests/support/session/SessionHolder.cpp)
target_compile_options(session_holder PRIVATE ${TILLVOX_WARNINGS})
target_link_libraries(session_holder PRIVATE user32)
set_target_properties(session_holder PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/support)

include(${CMAKE_SOURCE_DIR}/tools/Tools.cmake)

# Benchmarks: programs that print figures, built and run by scripts/bench-*.sh, never by the tests.
file(GLOB _bench CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cpp)
foreach(b ${_bench})
  get_filename_component(name ${b} NAME_WE)
  add_executable(bench_${name} EXCLUDE_FROM_ALL ${b})
  target_compile_options(bench_${name} PRIVATE ${TILLVOX_WARNINGS})
  target_link_libraries(bench_${name} PRIVATE tillvox_test_support)
  set_target_properties(bench_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endforeach()
# The yardstick of the latency benchmark: nothing of the program's own in it.
add_executable(bench_MinimalForwarder EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/bench/forwarder/MinimalForwarder.cpp)
target_compile_options(bench_MinimalForwarder PRIVATE ${TILLVOX_WARNINGS})
target_link_libraries(bench_MinimalForwarder PRIVATE ws2_32)
set_target_properties(bench_MinimalForwarder PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
