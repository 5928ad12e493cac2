# Timing of the SMART and statistics parsers on synthetic outputs (-DKV_BUILD_BENCH=ON).
if(KV_BUILD_BENCH AND NOT CMAKE_CROSSCOMPILING)
  find_package(benchmark REQUIRED)
  add_executable(parse_smart_bench
    ${CMAKE_SOURCE_DIR}/bench/parse_smart_bench.cpp
    ${CMAKE_SOURCE_DIR}/tests/parse/smart_synthetic.cpp)
  target_include_directories(parse_smart_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(parse_smart_bench PRIVATE kv_core benchmark::benchmark)
endif()
