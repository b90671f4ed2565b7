# SPDX-License-Identifier: Apache-2.0
# Makes the Debian packages from the build, has lintian check them, unpacks
# them into a fresh root and runs kvx-host and the Python module from there,
# against the unpacked plug-in.
# Run with -DBUILD_DIR=... -DWORK_DIR=... [-DPYTHON=...]
file(REMOVE_RECURSE ${WORK_DIR})
set(root ${WORK_DIR}/root)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(failed)
    message(FATAL_ERROR "${ARGN} failed:\n${out}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

run(cpack -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR})
file(GLOB packages ${WORK_DIR}/*.deb)
list(LENGTH packages count)
if(NOT count EQUAL 4)
  message(FATAL_ERROR "expected 4 packages, made ${count}: ${packages}")
endif()
run(lintian --fail-on error --tag-display-limit 0 ${packages})
message(STATUS "lintian:\n${output}")
foreach(package IN LISTS packages)
  run(dpkg-deb -x ${package} ${root})
endforeach()

foreach(file usr/bin/kvx-host usr/share/man/man1/kvx-host.1.gz usr/share/bash-completion/completions/kvx-host
             usr/include/kvx_base/bridge/interface.h usr/lib/pkgconfig/kvx_base.pc usr/share/doc/kvx-host/examples/rings.kvx
             usr/share/doc/kvx-base/copyright)
  if(NOT EXISTS ${root}/${file})
    message(FATAL_ERROR "no ${file} in the packages")
  endif()
endforeach()

foreach(package kvx-base kvx-base-dev kvx-host python3-kvx)
  if(EXISTS ${root}/usr/share/doc/${package})
    file(READ ${root}/usr/share/doc/${package}/copyright copyright)
    if(NOT copyright MATCHES "\nLicense: Apache-2.0\n")
      message(FATAL_ERROR "${package}'s copyright file does not give the Apache License 2.0")
    endif()
  endif()
endforeach()

run(${CMAKE_COMMAND} -E env --unset=KVX_LIBRARY ${root}/usr/bin/kvx-host list)
if(NOT output MATCHES "402 shaders in ${root}/usr/lib/kvx_base/libkvx_base.so")
  message(FATAL_ERROR "the unpacked kvx-host did not load the unpacked plug-in:\n${output}")
endif()
if(PYTHON)
  file(GLOB site ${root}/usr/lib/python3*/dist-packages)
  run(${CMAKE_COMMAND} -E env --unset=KVX_LIBRARY PYTHONPATH=${site}
      ${PYTHON} -c "import kvx\nprint(kvx.__file__, kvx.Library().path, kvx.Library().eval('Math_float_add', left=1, right=2))")
  if(NOT output MATCHES "^${site}/kvx[^ ]*\\.so ${root}/usr/lib/kvx_base/libkvx_base.so 3.0")
    message(FATAL_ERROR "the unpacked Python module did not load the unpacked plug-in:\n${output}")
  endif()
endif()
message(STATUS "packages made, checked and run from ${root}")
