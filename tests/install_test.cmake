# SPDX-License-Identifier: Apache-2.0
# Installs the build into a fresh prefix, runs the installed kvx-host, and has
# a renderer-like project find the plug-in with find_package and pkg-config.
# Run with -DBUILD_DIR=... -DWORK_DIR=... -DSOURCE_DIR=...
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

execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/consumer -B ${WORK_DIR}/consumer -G Ninja -DCMAKE_PREFIX_PATH=${prefix}
  OUTPUT_VARIABLE configured RESULT_VARIABLE failed)
if(failed OR NOT configured MATCHES "plug-in: ${prefix}/lib[^ ]*/libkvx_base.so")
  message(FATAL_ERROR "find_package(kvx_base) failed:\n${configured}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/consumer RESULT_VARIABLE failed OUTPUT_QUIET)
if(failed)
  message(FATAL_ERROR "a project compiling against the installed headers failed to build")
endif()
# An instrumented plug-in needs its sanitizer's runtime in the program that
# loads it, which the consumer, built as a renderer would be, does not have.
if(NOT SANITIZED)
  execute_process(COMMAND ${WORK_DIR}/consumer/consumer OUTPUT_VARIABLE loaded ERROR_VARIABLE loaded
                  RESULT_VARIABLE failed)
  if(failed OR NOT loaded MATCHES "initializer\\(0\\) made softshader_Math_float_add")
    message(FATAL_ERROR "the consumer did not load the installed plug-in:\n${loaded}")
  endif()
endif()

file(GLOB_RECURSE pc_file ${prefix}/*/kvx_base.pc)
if(NOT pc_file)
  message(FATAL_ERROR "no kvx_base.pc installed")
endif()
file(READ ${pc_file} pc)
if(NOT pc MATCHES "plugin=\\\${libdir}/kvx_base/libkvx_base.so")
  message(FATAL_ERROR "kvx_base.pc names no plug-in:\n${pc}")
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
