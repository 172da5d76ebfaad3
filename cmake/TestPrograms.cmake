# Test programs, one per test file, all built the same way: the warnings, one
# shared main (which ends a run with a skipped test with the code ctest counts
# as skipped) and a precompiled header compiled once for all of them. Test code
# is compiled with TILLVOX_TEST_OPTIMIZE: the program's code keeps its build
# type's flags, only the tests compile faster.
#
# Included after tillvox_test_support is defined.
set(TILLVOX_TEST_SKIP_CODE 77)
set(_test_main_dir ${CMAKE_SOURCE_DIR}/tests/support/main)

add_library(tillvox_test_main STATIC ${_test_main_dir}/TestMain.cpp)
target_link_libraries(tillvox_test_main PUBLIC GTest::gtest)
target_compile_options(tillvox_test_main PRIVATE ${TILLVOX_WARNINGS} ${TILLVOX_TEST_OPTIMIZE})

# tillvox_add_test_program(TARGET PCH SOURCES...): PCH is the header the test
# file's kind shares (tests/support/main/<PCH>.h), compiled once by a host target.
function(tillvox_add_test_program target pch)
  set(_host tillvox_pch_${pch})
  if(NOT TARGET ${_host})
    add_library(${_host} STATIC ${_test_main_dir}/PchHost.cpp)
    target_link_libraries(${_host} PRIVATE tillvox_test_support)
    target_compile_options(${_host} PRIVATE ${TILLVOX_WARNINGS} ${TILLVOX_TEST_OPTIMIZE})
    target_precompile_headers(${_host} PRIVATE ${_test_main_dir}/${pch}.h)
  endif()
  add_executable(${target} ${ARGN})
  target_compile_options(${target} PRIVATE ${TILLVOX_WARNINGS} ${TILLVOX_TEST_OPTIMIZE})
  target_link_libraries(${target} PRIVATE tillvox_test_support tillvox_test_main)
  target_precompile_headers(${target} REUSE_FROM ${_host})
endfunction()

# Marks ctest tests as run by such programs: their skip code counts as skipped.
function(tillvox_test_skips)
  set_tests_properties(${ARGN} PROPERTIES SKIP_RETURN_CODE ${TILLVOX_TEST_SKIP_CODE})
endfunction()
