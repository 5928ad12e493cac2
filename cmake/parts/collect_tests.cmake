# The console program the collection tests run as a source command. It lands next to
# the test executables; test_collect finds it there and depends on it.
if(KV_BUILD_TESTS)
  add_executable(kv_test_child ${CMAKE_SOURCE_DIR}/tests/collect/child/collect_child.cc)
  target_link_libraries(kv_test_child PRIVATE kv_core)
  set_target_properties(kv_test_child PROPERTIES OUTPUT_NAME kv_collect_child RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

  function(kv_collect_wire_tests)
    if(TARGET test_collect)
      add_dependencies(test_collect kv_test_child)
    endif()
  endfunction()
  cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL kv_collect_wire_tests)
endif()
