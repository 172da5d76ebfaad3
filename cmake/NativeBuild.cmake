# Native build: the code that needs no windows.h, its tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the portable tools.
set(TILLVOX_SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
add_compile_options(-g ${TILLVOX_SANITIZE})
add_link_options(${TILLVOX_SANITIZE})

add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_library(tillvox_pure STATIC ${TILLVOX_PURE_SOURCES})
target_include_directories(tillvox_pure PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(tillvox_pure PRIVATE ${TILLVOX_WARNINGS})

file(GLOB _support CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*.cpp)
list(FILTER _support EXCLUDE REGEX "_win\\.cpp$")
add_library(tillvox_test_support STATIC ${_support} ${CMAKE_SOURCE_DIR}/tests/support/Empty.cpp)
target_link_libraries(tillvox_test_support PUBLIC tillvox_pure GTest::gtest)
target_include_directories(tillvox_test_support PUBLIC ${CMAKE_SOURCE_DIR})
set(TILLVOX_TEST_OPTIMIZE)
include(${CMAKE_SOURCE_DIR}/cmake/TestPrograms.cmake)

file(GLOB _unit_tests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*_test.cpp)
foreach(t ${_unit_tests})
  get_filename_component(name ${t} NAME_WE)
  tillvox_add_test_program(native_${name} TestPch ${t})
  target_link_libraries(native_${name} PRIVATE pthread)
  add_test(NAME native.${name} COMMAND native_${name})
  set_tests_properties(native.${name} PROPERTIES TIMEOUT 300
    ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1")
endforeach()

include(${CMAKE_SOURCE_DIR}/tools/Tools.cmake)
