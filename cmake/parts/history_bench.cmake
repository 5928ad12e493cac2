# Timing of the drive history store: a 512-drive interval, a chart's series, the file's
# size per drive-year (-DKV_BUILD_BENCH=ON).
if(KV_BUILD_BENCH AND NOT CMAKE_CROSSCOMPILING)
  find_package(benchmark REQUIRED)
  add_executable(history_bench ${CMAKE_SOURCE_DIR}/bench/history_bench.cpp)
  target_link_libraries(history_bench PRIVATE kv_core benchmark::benchmark)
endif()
