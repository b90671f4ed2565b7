# SPDX-License-Identifier: Apache-2.0
# The plug-in, from the library's own folders: a module the host loads with
# dlopen and never links against. Hidden by default: only the interface is
# exported. Statics of inline functions are plain weak symbols, so the library
# can be unloaded.
set(kvx_plugin_sources
  math/fast_pow2.cpp
  bridge/entry/gather.cpp
  bridge/entry/lifecycle.cpp
  plugin/emit/factory.cpp
  plugin/emit/arithmetic.cpp
  plugin/emit/functions.cpp
  plugin/emit/comparison.cpp
  plugin/emit/geometry.cpp
  plugin/emit/state.cpp)

# kvx_plugin(TARGET FOLDER): the plug-in libkvx_base.so, made in FOLDER of the build.
function(kvx_plugin target folder)
  add_library(${target} MODULE ${kvx_plugin_sources})
  kvx_own_flags(${target})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_options(${target} PRIVATE -fvisibility=hidden $<$<CXX_COMPILER_ID:GNU>:-fno-gnu-unique>)
  # Its own functions bind within the library at link time: the virtual tables'
  # thousands of entries become relative relocations, not symbol lookups at load.
  # Data (type information, tables, statics) stays interposable.
  target_link_options(${target} PRIVATE -Wl,-Bsymbolic-functions)
  # It names the C library it runs on even where no call needs it at link time.
  target_link_options(${target} PRIVATE LINKER:--push-state,--no-as-needed,-lc,--pop-state)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME kvx_base LIBRARY_OUTPUT_DIRECTORY ${folder})
endfunction()

kvx_plugin(kvx_base ${PROJECT_BINARY_DIR})
set_target_properties(kvx_base PROPERTIES EXPORT_NAME base)
if(KVX_BUILD_CHECKED)
  # The checked plug-in: the same sources with the host checks compiled in
  # (bridge/check/check.h), beside the plain one; the suite runs against both.
  kvx_plugin(kvx_base_checked ${PROJECT_BINARY_DIR}/checked)
  target_sources(kvx_base_checked PRIVATE bridge/check/check.cpp)
  target_compile_definitions(kvx_base_checked PRIVATE KVX_CHECKED)
endif()
if(KVX_BUILD_FUZZERS)
  # Coverage from the plug-in guides the fuzzers, not only the targets'.
  target_compile_options(kvx_base PRIVATE -fsanitize=fuzzer-no-link)
endif()

# The batch library, libkvx_base_batch.so: every shader over many points at
# once, a shared library hosts link with (or load), apart from the plug-in.
# The kernels are compiled once for each instruction set, each in a
# namespace of its own; the functions choose one at their first call.
set(kvx_batch_sources
  bridge/batch/targets.cpp
  bridge/batch/arithmetic.cpp
  bridge/batch/functions.cpp
  bridge/batch/comparison.cpp
  bridge/batch/geometry.cpp
  bridge/batch/state.cpp)
set(kvx_batch_flags_sse2 "")
set(kvx_batch_flags_avx2 -mavx2 -mfma)
set(kvx_batch_flags_avx512 -mavx2 -mfma -mavx512f -mavx512dq -mavx512bw -mavx512vl)
add_library(kvx_base_batch SHARED ${kvx_batch_sources})
foreach(target sse2 avx2 avx512)
  add_library(kvx_batch_${target} OBJECT shaders/batch/target.cpp)
  kvx_own_flags(kvx_batch_${target})
  target_include_directories(kvx_batch_${target} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(kvx_batch_${target} PRIVATE KVX_BATCH_TARGET=${target})
  target_compile_options(kvx_batch_${target} PRIVATE ${kvx_batch_flags_${target}} -fvisibility=hidden)
  set_target_properties(kvx_batch_${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  target_sources(kvx_base_batch PRIVATE $<TARGET_OBJECTS:kvx_batch_${target}>)
endforeach()
kvx_own_flags(kvx_base_batch)
target_include_directories(kvx_base_batch PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(kvx_base_batch PRIVATE -fvisibility=hidden $<$<CXX_COMPILER_ID:GNU>:-fno-gnu-unique>)
target_link_options(kvx_base_batch PRIVATE -Wl,-Bsymbolic-functions
  -Wl,--version-script=${PROJECT_SOURCE_DIR}/bridge/batch/exports.map)
set_property(TARGET kvx_base_batch APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/bridge/batch/exports.map)
set_target_properties(kvx_base_batch PROPERTIES OUTPUT_NAME kvx_base_batch VERSION ${PROJECT_VERSION}
  SOVERSION ${PROJECT_VERSION_MAJOR} LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR} EXPORT_NAME batch)
if(KVX_BUILD_FUZZERS)
  target_compile_options(kvx_base_batch PRIVATE -fsanitize=fuzzer-no-link)
endif()

# The interface a renderer's build compiles against, installed with the
# plug-in's CMake package and pkg-config file: the declarations of every
# exported function and the host's side for C hosts (C11), the C++ interface
# and the catalogue (C++20), the versions. Installed under include/kvx_base/
# as they lie in the sources, included as <kvx_base/bridge/interface/c_entries.h>
# (public_headers.cmake makes them so).
set(kvx_public_headers
  catalogue/catalogue.h catalogue/signatures.h catalogue/types.h catalogue/shaders.def
  bridge/interface/c_entries.h bridge/interface/c_host.h bridge/interface/versions.h
  bridge/interface/interface.h bridge/interface/host_state.h bridge/interface/export.h
  bridge/interface/batch.h plugin/objects/plugin.h)
# The paths of the 1.0 interface, which hosts include today, and the batch
# interface's short one: each a header that includes the one it names.
set(kvx_public_aliases
  bridge/c_entries.h=bridge/interface/c_entries.h bridge/c_host.h=bridge/interface/c_host.h
  bridge/interface.h=bridge/interface/interface.h bridge/host_state.h=bridge/interface/host_state.h
  plugin/versions.h=bridge/interface/versions.h plugin/export.h=bridge/interface/export.h
  plugin/plugin.h=plugin/objects/plugin.h
  batch.h=bridge/interface/batch.h)
set(kvx_public_dir ${PROJECT_BINARY_DIR}/include)
set(kvx_public_names ${kvx_public_headers})
foreach(alias IN LISTS kvx_public_aliases)
  string(REGEX REPLACE "=.*" "" name ${alias})
  list(APPEND kvx_public_names ${name})
endforeach()
list(TRANSFORM kvx_public_names PREPEND ${kvx_public_dir}/kvx_base/ OUTPUT_VARIABLE kvx_copied_files)
# The catalogue for C hosts, written from the catalogue by a program of the
# build: each shader's parameter block as a struct (<kvx_base/parameters.h>)
# and the whole catalogue as a table (<kvx_base/shader_table.h>).
add_executable(kvx_write_c_layouts catalogue/c_layouts/write_c_layouts.cpp)
kvx_own_flags(kvx_write_c_layouts)
target_include_directories(kvx_write_c_layouts PRIVATE ${PROJECT_SOURCE_DIR})
set(kvx_c_layout_files ${kvx_public_dir}/kvx_base/parameters.h ${kvx_public_dir}/kvx_base/shader_table.h)
add_custom_command(
  OUTPUT ${kvx_c_layout_files}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${kvx_public_dir}/kvx_base
  COMMAND kvx_write_c_layouts ${kvx_public_dir}/kvx_base
  DEPENDS kvx_write_c_layouts
  COMMENT "Writing the catalogue for C hosts: kvx_base/parameters.h, kvx_base/shader_table.h"
  VERBATIM)
set(kvx_public_files ${kvx_copied_files} ${kvx_c_layout_files})
list(TRANSFORM kvx_public_headers PREPEND ${PROJECT_SOURCE_DIR}/ OUTPUT_VARIABLE kvx_public_sources)
add_custom_command(
  OUTPUT ${kvx_copied_files}
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DOUTPUT_DIR=${kvx_public_dir}
          "-DHEADERS=${kvx_public_headers}" "-DALIASES=${kvx_public_aliases}" -P ${PROJECT_SOURCE_DIR}/cmake/public_headers.cmake
  DEPENDS ${kvx_public_sources} ${PROJECT_SOURCE_DIR}/cmake/public_headers.cmake
  COMMENT "Writing the headers hosts compile against under kvx_base/"
  VERBATIM)
add_custom_target(kvx_public_headers ALL DEPENDS ${kvx_public_files})
add_library(kvx_headers INTERFACE)
target_sources(kvx_headers INTERFACE FILE_SET HEADERS BASE_DIRS ${kvx_public_dir} FILES ${kvx_public_files})
add_dependencies(kvx_headers kvx_public_headers)
set_target_properties(kvx_headers PROPERTIES EXPORT_NAME headers)
