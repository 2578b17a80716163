# movara_library(NAME SOURCES... DEPS ...): one static library per source folder.
function(movara_library name)
  cmake_parse_arguments(ML "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ML_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ML_DEPS})
endfunction()

# movara_test(NAME SOURCES... DEPS ...): one GoogleTest program, registered with ctest.
function(movara_test name)
  cmake_parse_arguments(MT "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${MT_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${MT_DEPS} movara_testsupport GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "MOVARA_TEST_BIN=${CMAKE_BINARY_DIR};QT_QPA_PLATFORM=offscreen")
endfunction()
