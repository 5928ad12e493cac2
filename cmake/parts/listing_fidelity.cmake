# What the parser reads from each listing of a folder (tools/listing_fidelity).
if(NOT CMAKE_CROSSCOMPILING)
  add_executable(listing_fidelity ${CMAKE_SOURCE_DIR}/tools/listing_fidelity/listing_fidelity.cpp)
  target_link_libraries(listing_fidelity PRIVATE kv_core)
endif()
