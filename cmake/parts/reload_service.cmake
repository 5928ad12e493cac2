# The restart program the monitor launches when its restart period has run out. Its logic
# lives in kv_core (so the unit tests reach it); the entry point is its own executable,
# built next to korvane_monitor so the monitor finds it in the program folder.
target_sources(kv_core PRIVATE ${CMAKE_SOURCE_DIR}/src/reload/reload_request.cpp)
add_executable(reload_service ${CMAKE_SOURCE_DIR}/src/reload/reload_main.cpp)
target_link_libraries(reload_service PRIVATE kv_core)
add_dependencies(korvane_monitor reload_service)
