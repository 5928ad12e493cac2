# Timing of the state report writer on large models (-DKV_BUILD_BENCH=ON).
if(KV_BUILD_BENCH AND NOT CMAKE_CROSSCOMPILING)
  find_package(benchmark REQUIRED)
  add_executable(state_report_bench ${CMAKE_SOURCE_DIR}/bench/state_report_bench.cpp)
  target_link_libraries(state_report_bench PRIVATE kv_core benchmark::benchmark)
endif()
