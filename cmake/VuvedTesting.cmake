# vuved_add_test(<name> SOURCES ... [LIBS ...] [LABELS ...])
# One GoogleTest binary per source folder, its cases discovered by CTest.
find_package(GTest REQUIRED)

# The dictionary engine's English index, built once by the first test that needs it and shared by every build of
# the tree (a sanitizer build would take a minute to build it again), never in the user's own cache folder.
set(VUVED_TEST_CACHE ${PROJECT_SOURCE_DIR}/build/test-cache)
include(GoogleTest)

function(vuved_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    VUVED_SOURCE_DIR="${PROJECT_SOURCE_DIR}" VUVED_BINARY_DIR="${PROJECT_BINARY_DIR}")
  set(labels ${ARG_LABELS})
  if(NOT labels)
    set(labels unit)
  endif()
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    PROPERTIES LABELS "${labels}" TIMEOUT 300 ENVIRONMENT "XDG_CACHE_HOME=${VUVED_TEST_CACHE}"
    DISCOVERY_TIMEOUT 60)
endfunction()
