# Timing of a full collection cycle with every page (-DKV_BUILD_BENCH=ON).
if(KV_BUILD_BENCH AND NOT CMAKE_CROSSCOMPILING)
  find_package(benchmark REQUIRED)
  add_executable(cycle_bench
    ${CMAKE_SOURCE_DIR}/bench/cycle_bench.cpp
    ${CMAKE_SOURCE_DIR}/tests/parse/smart_synthetic.cpp)
  target_include_directories(cycle_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(cycle_bench PRIVATE kv_core benchmark::benchmark)
endif()

# Saved listings of a synthetic controller, for running the monitor on many drives.
if(KV_BUILD_BENCH AND NOT CMAKE_CROSSCOMPILING)
  add_executable(make_controller
    ${CMAKE_SOURCE_DIR}/bench/make_controller.cpp
    ${CMAKE_SOURCE_DIR}/tests/parse/smart_synthetic.cpp)
  target_include_directories(make_controller PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(make_controller PRIVATE kv_core)
endif()
