# project_gtest(NAME SOURCES... LIBS ...): a GoogleTest executable whose tests
# are discovered when ctest runs (GUI tests need a display at that time, not at
# build time). The tests run from the binary directory; VESTIGA_SAMPLE_DIR and
# the source directory reach them as compile definitions.
function(project_gtest name)
  cmake_parse_arguments(PT "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${PT_SOURCES})
  target_link_libraries(${name} PRIVATE ${PT_LIBS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    VESTIGA_SAMPLE_DIR="${VESTIGA_SAMPLE_DIR}"
    TEST_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}"
    TEST_BINARY_DIR="${CMAKE_CURRENT_BINARY_DIR}")
  set(props TIMEOUT 600)
  if(PT_LABELS)
    list(APPEND props LABELS "${PT_LABELS}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES ${props})
endfunction()
