# Timing of the configuration parser on hostile input (-DKV_BUILD_BENCH=ON).
if(KV_BUILD_BENCH AND NOT CMAKE_CROSSCOMPILING)
  find_package(benchmark REQUIRED)
  add_executable(parse_config_bench ${CMAKE_SOURCE_DIR}/bench/parse_config_bench.cpp)
  target_include_directories(parse_config_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(parse_config_bench PRIVATE kv_core benchmark::benchmark)
endif()
