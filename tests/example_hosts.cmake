# SPDX-License-Identifier: Apache-2.0
# The example hosts built as an integrator builds them, against an installed
# or unpacked package: the C host with pkg-config, the C++ host with
# find_package. Each runs against the plain and the checked plug-in (where
# any finding aborts it) and must print what `kvx-host eval` gives. The
# wavefront host, on the batch library alone, must give the picture the C
# entries give (held to the installed Python module's, where there is one).
#
#   include(example_hosts.cmake)
#   check_example_hosts(PREFIX WORK_DIR KVX_HOST C_COMPILER [PYTHON PYTHON_SITE])

# What kvx-host eval is asked for each line an example prints.
set(kvx_example_evals
  "Math_float_add|Math_float_add left=1.5 right=2.25 --path c"
  "Math_float_sin|Math_float_sin input=0.5 --path c"
  "State_parametric_uv|State_parametric_uv --state 18=0.25,0.75 --path c"
  "Math_float_multiply|Math_float_multiply left=1.5 right=2.25 --path cpp")

function(kvx_run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(failed)
    message(FATAL_ERROR "${ARGN} failed:\n${out}${err}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

# Every line of `printed` ("NAME VALUE  [BITS]") holds what kvx-host eval prints for NAME.
function(kvx_compare_with_eval printed kvx_host what)
  string(REPLACE "\n" ";" lines "${printed}")
  set(seen 0)
  foreach(line IN LISTS lines)
    if(line STREQUAL "")
      continue()
    endif()
    string(REGEX MATCH "^([A-Za-z0-9_]+) (.*)$" matched "${line}")
    set(name ${CMAKE_MATCH_1})
    set(value "${CMAKE_MATCH_2}")
    set(arguments "")
    foreach(entry IN LISTS kvx_example_evals)
      string(REPLACE "|" ";" fields "${entry}")
      list(GET fields 0 entry_name)
      if(entry_name STREQUAL name)
        list(GET fields 1 text)
        separate_arguments(arguments UNIX_COMMAND "${text}")
      endif()
    endforeach()
    if(arguments STREQUAL "")
      message(FATAL_ERROR "${what} printed a line no eval is known for: ${line}")
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=KVX_LIBRARY ${kvx_host} eval ${arguments}
                    OUTPUT_VARIABLE evaluated RESULT_VARIABLE failed)
    string(FIND "${evaluated}" "${value}" at)
    if(failed OR at EQUAL -1)
      message(FATAL_ERROR "${what}: '${line}', where kvx-host eval ${arguments} gives:\n${evaluated}")
    endif()
    math(EXPR seen "${seen} + 1")
  endforeach()
  if(seen LESS 3)
    message(FATAL_ERROR "${what} printed ${seen} values:\n${printed}")
  endif()
endfunction()

function(check_example_hosts prefix work_dir kvx_host c_compiler)
  set(examples ${prefix}/share/doc/kvx-base-dev/examples/hosts)
  file(GLOB pc_dir LIST_DIRECTORIES true ${prefix}/lib*/pkgconfig ${prefix}/lib/*/pkgconfig)
  set(ENV{PKG_CONFIG_PATH} "${pc_dir}")
  kvx_run(pkg-config --cflags --libs kvx_base)
  separate_arguments(flags UNIX_COMMAND "${output}")
  kvx_run(pkg-config --variable=plugin kvx_base)
  string(STRIP "${output}" plugin)
  kvx_run(pkg-config --variable=plugin_checked kvx_base)
  string(STRIP "${output}" plugin_checked)
  file(MAKE_DIRECTORY ${work_dir})
  kvx_run(${c_compiler} -std=c11 -pedantic -Wall -Wextra -Werror ${examples}/c/host.c ${flags} -o ${work_dir}/c_host)
  # The 1.0 interface's header paths still compile, in C and in C++.
  file(WRITE ${work_dir}/paths_1_0.c "#include <kvx_base/bridge/c_entries.h>\n#include <kvx_base/bridge/c_host.h>\n"
             "#include <kvx_base/plugin/versions.h>\n_Static_assert(KVX_BASE_C_INTERFACE_VERSION == 4, \"\");\n")
  kvx_run(${c_compiler} -std=c11 -pedantic -Wall -Werror -fsyntax-only ${work_dir}/paths_1_0.c ${flags})
  file(WRITE ${work_dir}/paths_1_0.cpp "#include <kvx_base/bridge/interface.h>\n#include <kvx_base/bridge/host_state.h>\n"
             "#include <kvx_base/plugin/plugin.h>\n#include <kvx_base/plugin/export.h>\n"
             "static_assert(sizeof(ZR::SHADER::Vector3) == 12);\n")
  kvx_run(${c_compiler} -x c++ -std=c++20 -Wall -Werror -fsyntax-only ${work_dir}/paths_1_0.cpp ${flags})

  kvx_run(${CMAKE_COMMAND} -S ${examples}/cpp -B ${work_dir}/cpp -G Ninja -DCMAKE_PREFIX_PATH=${prefix})
  kvx_run(${CMAKE_COMMAND} --build ${work_dir}/cpp)

  foreach(host c_host cpp/host)
    foreach(library ${plugin} ${plugin_checked})
      kvx_run(${CMAKE_COMMAND} -E env KVX_CHECK=abort ${work_dir}/${host} ${library})
      kvx_compare_with_eval("${output}" ${kvx_host} "${host} on ${library}")
    endforeach()
  endforeach()

  kvx_run(pkg-config --cflags --libs kvx_base_batch)
  separate_arguments(batch_flags UNIX_COMMAND "${output}")
  kvx_run(pkg-config --variable=libdir kvx_base_batch)
  string(STRIP "${output}" batch_libdir)
  kvx_run(${c_compiler} -std=c11 -O2 -pedantic -Wall -Wextra -Werror ${examples}/wavefront/wavefront.c ${batch_flags}
          -o ${work_dir}/wavefront)
  kvx_run(${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${batch_libdir} ${work_dir}/wavefront ${work_dir}/rings.raw)
  if(NOT output MATCHES "shaded 1048576 points on (sse2|avx2|avx512)")
    message(FATAL_ERROR "the wavefront host printed:\n${output}")
  endif()
  if(ARGC GREATER 5 AND ARGV4)
    string(CONCAT compare "import kvx, numpy as np\n"
           "raw = np.fromfile('${work_dir}/rings.raw', np.float32).reshape(1024, 1024, 4)\n"
           "c = kvx.Network(kvx.Library(), file='${prefix}/share/doc/kvx-host/examples/rings.kvx').shade(1024, 1024, path='c')\n"
           "print('same' if np.array_equal(raw.view(np.uint32), c.view(np.uint32)) else 'differ')")
    kvx_run(${CMAKE_COMMAND} -E env --unset=KVX_LIBRARY PYTHONPATH=${ARGV5} ${ARGV4} -c "${compare}")
    if(NOT output MATCHES "^same")
      message(FATAL_ERROR "the wavefront host's picture is not the C entries':\n${output}")
    endif()
  endif()
endfunction()
