# vuved_add_test(<name> SOURCES ... [LIBS ...] [LABELS ...])
# One GoogleTest binary per source folder, its cases discovered by CTest.
find_package(GTest REQUIRED)
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
    # The dictionary engine's English index is built once for the whole run, in the build tree, never in the
    # user's cache folder.
    PROPERTIES LABELS "${labels}" TIMEOUT 300 ENVIRONMENT "XDG_CACHE_HOME=${PROJECT_BINARY_DIR}/test-cache"
    DISCOVERY_TIMEOUT 60)
endfunction()
