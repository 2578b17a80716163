# movara_folder_library(NAME DEPS ...): the library of one source folder, made of every
# .cpp below it (ui/ sub-folders excluded: they belong to the windows).
function(movara_folder_library name)
  cmake_parse_arguments(ML "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER srcs EXCLUDE REGEX "/ui/")
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ML_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ML_DEPS})
  endif()
endfunction()

# movara_folder_tests(NAME [QT_MAIN] DEPS ...): one GoogleTest program from every
# *Test.cpp of the current tests folder, registered with ctest; QT_MAIN: the window tests'
# main() with its QApplication.
function(movara_folder_tests name)
  cmake_parse_arguments(MT "QT_MAIN" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*Test.cpp)
  if(NOT srcs)
    return()
  endif()
  if(MT_QT_MAIN)
    list(APPEND srcs ${CMAKE_SOURCE_DIR}/tests/support/QtTestMain.cpp)
  endif()
  add_executable(${name} ${srcs})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${MT_DEPS} movara_testsupport GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "MOVARA_TEST_BIN=${CMAKE_BINARY_DIR};QT_QPA_PLATFORM=offscreen")
endfunction()

# movara_ui_library(NAME DEPS ...): the windows of one folder, made of every .cpp of its
# ui/ sub-folder, with Qt Widgets and moc. Core libraries never link it.
function(movara_ui_library name)
  cmake_parse_arguments(ML "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.h)
  if(NOT srcs)
    return()
  endif()
  add_library(${name} STATIC ${srcs})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ML_DEPS} Qt6::Widgets)
endfunction()
