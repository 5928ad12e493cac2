# korvane_history_demo: 90 days of drive history for the demo (tools/demo.sh, the browser test).
if(NOT WIN32 AND NOT CMAKE_CROSSCOMPILING)
  add_executable(korvane_history_demo ${CMAKE_SOURCE_DIR}/tools/history_demo/history_demo.cpp)
  target_link_libraries(korvane_history_demo PRIVATE kv_core)
endif()
