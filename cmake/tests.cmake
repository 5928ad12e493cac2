# One GoogleTest executable per folder under tests/ (test_base, test_http, ...).
# tests/e2e and tests/windows hold scripts, not GoogleTest sources.
if(CMAKE_CROSSCOMPILING)
  # GoogleTest is compiled from Debian's source tree with the cross compiler.
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(KV_GTEST GTest::gtest GTest::gmock)
  set(KV_GTEST_MAIN GTest::gtest_main)
  if(NOT TARGET GTest::gtest)
    set(KV_GTEST gtest gmock)
    set(KV_GTEST_MAIN gtest_main)
  endif()
else()
  find_package(GTest REQUIRED)
  set(KV_GTEST GTest::gtest GTest::gmock)
  set(KV_GTEST_MAIN GTest::gtest_main)
  include(GoogleTest)
endif()

file(GLOB KV_TEST_DIRS LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/*)
foreach(dir IN LISTS KV_TEST_DIRS)
  if(NOT IS_DIRECTORY ${dir})
    continue()
  endif()
  get_filename_component(name ${dir} NAME)
  if(name STREQUAL "e2e" OR name STREQUAL "windows" OR name STREQUAL "fixtures")
    continue()
  endif()
  file(GLOB_RECURSE test_sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT test_sources)
    continue()
  endif()
  add_executable(test_${name} ${test_sources})
  target_include_directories(test_${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(test_${name} PRIVATE kv_core ${KV_GTEST} ${KV_GTEST_MAIN})
  target_compile_definitions(test_${name} PRIVATE
    KV_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    KV_FIXTURES_DIR="${CMAKE_SOURCE_DIR}/../shared/fixtures")
  if(NOT CMAKE_CROSSCOMPILING)
    gtest_discover_tests(test_${name} DISCOVERY_MODE PRE_TEST
      PROPERTIES ENVIRONMENT "KV_BINARY=$<TARGET_FILE:korvane_monitor>")
  endif()
endforeach()

# End-to-end tests: Python scripts that drive the real binary over loopback.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(Python3 COMPONENTS Interpreter REQUIRED)
  file(GLOB KV_E2E_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/test_*.py)
  foreach(script IN LISTS KV_E2E_TESTS)
    get_filename_component(name ${script} NAME_WE)
    add_test(NAME e2e.${name} COMMAND ${Python3_EXECUTABLE} ${script})
    set_tests_properties(e2e.${name} PROPERTIES
      ENVIRONMENT "KV_BINARY=$<TARGET_FILE:korvane_monitor>;KV_SOURCE_DIR=${CMAKE_SOURCE_DIR};KV_BUILD_DIR=${CMAKE_BINARY_DIR}"
      TIMEOUT 600 LABELS e2e)
  endforeach()
  # Thousands of client ports on loopback: other tests would find their free port taken.
  set_tests_properties(e2e.test_http_flood PROPERTIES RUN_SERIAL TRUE)
endif()
