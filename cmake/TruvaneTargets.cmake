# One library per source folder. Sources are globbed so that a new file in a folder
# needs no edit here; CONFIGURE_DEPENDS makes ninja notice added files.
# RECURSE takes the sources of the folder's sub-folders too (a large folder is split into
# sub-folders by concept but stays one library).
function(truvane_library name)
  cmake_parse_arguments(ARG "RECURSE" "" "DEPS;PRIVATE_DEPS" ${ARGN})
  if(ARG_RECURSE)
    file(GLOB_RECURSE _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  else()
    file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  add_library(${name} STATIC ${_sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
endfunction()

# One test program per test folder, run by ctest test by test. RECURSE takes the tests of
# the folder's sub-folders too (they mirror the sub-folders of the library under test).
function(truvane_test name)
  cmake_parse_arguments(ARG "RECURSE" "" "DEPS" ${ARGN})
  if(ARG_RECURSE)
    file(GLOB_RECURSE _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  else()
    file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  if(NOT _sources)
    # Re-configure when the first test file appears: adding a file touches the folder.
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR})
    return()
  endif()
  add_executable(${name} ${_sources})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} truvane_test_support GTest::gtest GTest::gmock)
  # Sanitized programs run a few times slower. The label names the program, so that a run
  # can pick programs (scripts/sanitize.sh).
  set(_timeout 120)
  if(TRUVANE_SANITIZE)
    set(_timeout 480)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120
    PROPERTIES TIMEOUT ${_timeout} LABELS ${name} ENVIRONMENT "TRUVANE_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
