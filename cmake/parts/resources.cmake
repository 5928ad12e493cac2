# Embedded resources: every file of resources/ is packed into a container at build time.
# Linux: a generated source with the containers and a table, compiled into kv_core.
# Windows: a generated resource script ("RES_RUNTIME" resources) compiled by windres into
# an object that every executable linking kv_core carries, so the program and each test
# executable find all resources in their own PE resources.
file(GLOB KV_RESOURCE_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/*)
list(FILTER KV_RESOURCE_FILES EXCLUDE REGEX "/(README[^/]*|\\.[^/]*)$")
list(SORT KV_RESOURCE_FILES)
set(KV_PACKER_SOURCES
  ${CMAKE_SOURCE_DIR}/tools/pack_resources/pack_resources.cpp
  ${CMAKE_SOURCE_DIR}/src/resources/resource_container.cpp)
set(KV_RESOURCE_OUT ${CMAKE_BINARY_DIR}/generated/resources)
file(MAKE_DIRECTORY ${KV_RESOURCE_OUT})

if(CMAKE_CROSSCOMPILING)
  # The packer runs on the build host: compile it with the host compiler, not the cross one.
  find_program(KV_HOST_CXX NAMES c++ g++ clang++ REQUIRED)
  set(KV_PACKER ${CMAKE_BINARY_DIR}/host/pack_resources)
  add_custom_command(
    OUTPUT ${KV_PACKER}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/host
    COMMAND ${KV_HOST_CXX} -std=c++20 -O2 -I${CMAKE_SOURCE_DIR}/src ${KV_PACKER_SOURCES} -lz -o ${KV_PACKER}
    DEPENDS ${KV_PACKER_SOURCES} ${CMAKE_SOURCE_DIR}/src/resources/resource_container.h
    COMMENT "Building the host resource packer"
    VERBATIM)
  set(KV_RESOURCE_OBJ ${KV_RESOURCE_OUT}/runtime_resources.res.o)
  add_custom_command(
    OUTPUT ${KV_RESOURCE_OBJ}
    COMMAND ${KV_PACKER} rc ${KV_RESOURCE_OUT}/runtime_resources.rc ${KV_RESOURCE_FILES}
    COMMAND ${CMAKE_RC_COMPILER} -O coff -I ${KV_RESOURCE_OUT}
            -i ${KV_RESOURCE_OUT}/runtime_resources.rc -o ${KV_RESOURCE_OBJ}
    WORKING_DIRECTORY ${KV_RESOURCE_OUT}
    DEPENDS ${KV_PACKER} ${KV_RESOURCE_FILES}
    COMMENT "Packing embedded resources into a resource object"
    VERBATIM)
  add_custom_target(kv_resources DEPENDS ${KV_RESOURCE_OBJ})
  add_dependencies(kv_core kv_resources)
  # A plain object on the link line is linked whole, so the resources are never dropped.
  target_link_libraries(kv_core INTERFACE ${KV_RESOURCE_OBJ})
else()
  add_executable(pack_resources ${KV_PACKER_SOURCES})
  target_include_directories(pack_resources PRIVATE ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(pack_resources PRIVATE ZLIB::ZLIB)
  set(KV_RESOURCE_CPP ${KV_RESOURCE_OUT}/embedded_resources.cpp)
  add_custom_command(
    OUTPUT ${KV_RESOURCE_CPP}
    COMMAND pack_resources cpp ${KV_RESOURCE_CPP} ${KV_RESOURCE_FILES}
    DEPENDS pack_resources ${KV_RESOURCE_FILES}
    COMMENT "Packing embedded resources into a source file"
    VERBATIM)
  target_sources(kv_core PRIVATE ${KV_RESOURCE_CPP})
endif()
