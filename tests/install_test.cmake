# SPDX-License-Identifier: Apache-2.0
# Installs the build into a fresh prefix, runs the installed kvx-host, and
# builds and runs the example hosts from the installation, with pkg-config and
# find_package. Run with -DBUILD_DIR=... -DWORK_DIR=... -DSOURCE_DIR=...
# -DC_COMPILER=... [-DSANITIZED=ON] [-DPYTHON=...]
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} RESULT_VARIABLE failed OUTPUT_QUIET)
if(failed)
  message(FATAL_ERROR "install failed")
endif()

execute_process(COMMAND ${prefix}/bin/kvx-host list OUTPUT_VARIABLE listed RESULT_VARIABLE failed)
if(failed OR NOT listed MATCHES "402 shaders in ${prefix}/lib[^ ]*/libkvx_base.so")
  message(FATAL_ERROR "the installed kvx-host did not find the installed plug-in:\n${listed}")
endif()

# The catalogue for integrators is what the installed kvx-host lists, but for
# the library's path, which it gives below the prefix.
file(GLOB catalogue ${prefix}/share/kvx_base/catalogue.json)
execute_process(COMMAND ${prefix}/bin/kvx-host list --json OUTPUT_VARIABLE listed RESULT_VARIABLE failed)
if(failed OR NOT catalogue)
  message(FATAL_ERROR "no catalogue.json installed, or kvx-host list --json failed")
endif()
file(READ ${catalogue} installed)
string(JSON installed_shaders GET "${installed}" shaders)
string(JSON listed_shaders GET "${listed}" shaders)
string(JSON library GET "${installed}" library)
if(NOT installed_shaders STREQUAL listed_shaders OR NOT EXISTS ${prefix}/${library})
  message(FATAL_ERROR "the installed catalogue.json is not what kvx-host list --json gives, or names no plug-in")
endif()

file(GLOB_RECURSE pc_file ${prefix}/*/kvx_base.pc)
if(NOT pc_file)
  message(FATAL_ERROR "no kvx_base.pc installed")
endif()
# The example hosts, built from the installation as an integrator builds them.
# An instrumented plug-in needs its sanitizer's runtime in the program that
# loads it, and the example hosts, built as a renderer would be, have none.
if(NOT SANITIZED)
  include(${CMAKE_CURRENT_LIST_DIR}/example_hosts.cmake)
  check_example_hosts(${prefix} ${WORK_DIR}/hosts ${prefix}/bin/kvx-host ${C_COMPILER} "${PYTHON}"
                      "${prefix}/${PYTHON_DIR}")
endif()
if(PYTHON)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=KVX_LIBRARY PYTHONPATH=${prefix}/${PYTHON_DIR}
                          ${PYTHON} -c "import kvx; print(kvx.Library().path, kvx.Library().eval('Math_float_add', left=1, right=2))"
                  OUTPUT_VARIABLE imported RESULT_VARIABLE failed)
  if(failed OR NOT imported MATCHES "^${prefix}/lib[^ ]*/libkvx_base.so 3.0")
    message(FATAL_ERROR "the installed Python module did not find the installed plug-in:\n${imported}")
  endif()
  if(NOT EXISTS ${prefix}/${PYTHON_DIR}/kvx.pyi)
    message(FATAL_ERROR "no type stubs installed beside the Python module")
  endif()
endif()
message(STATUS "installed and found: ${prefix}")
