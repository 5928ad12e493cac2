# Timing of a full collection cycle with every page (-DKV_BUILD_BENCH=ON).
if(KV_BUILD_BENCH AND NOT CMAKE_CROSSCOMPILING)
  find_package(benchmark REQUIRED)
  add_executable(cycle_bench
    ${CMAKE_SOURCE_DIR}/bench/cycle_bench.cpp
    ${CMAKE_SOURCE_DIR}/tests/parse/smart_synthetic.cpp)
  target_include_directories(cycle_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(cycle_bench PRIVATE kv_core benchmark::benchmark)
endif()
