# SPDX-License-Identifier: Apache-2.0
# Makes the Debian packages from the build, has lintian check them, unpacks
# them into a fresh root and runs kvx-host and the Python module from there,
# against the unpacked plug-in, and builds the example hosts from the unpacked
# root (pkg-config and find_package) and runs them against the unpacked plain
# and checked plug-ins.
# Run with -DBUILD_DIR=... -DWORK_DIR=... -DC_COMPILER=... [-DPYTHON=...]
file(REMOVE_RECURSE ${WORK_DIR})
set(root ${WORK_DIR}/root)

include(${CMAKE_CURRENT_LIST_DIR}/example_hosts.cmake)  # kvx_run, check_example_hosts

kvx_run(cpack -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR})
file(GLOB packages ${WORK_DIR}/*.deb)
list(LENGTH packages count)
if(NOT count EQUAL 6)
  message(FATAL_ERROR "expected 6 packages, made ${count}: ${packages}")
endif()
kvx_run(lintian --fail-on error,warning --tag-display-limit 0 ${packages})
message(STATUS "lintian:\n${output}")
foreach(package IN LISTS packages)
  kvx_run(dpkg-deb -x ${package} ${root})
endforeach()

foreach(file usr/bin/kvx-host usr/share/man/man1/kvx-host.1.gz usr/share/bash-completion/completions/kvx-host
             usr/include/kvx_base/bridge/interface/interface.h usr/include/kvx_base/bridge/interface/c_entries.h
             usr/include/kvx_base/bridge/interface/c_host.h usr/include/kvx_base/bridge/interface/versions.h
             usr/include/kvx_base/bridge/c_entries.h usr/include/kvx_base/plugin/plugin.h usr/include/kvx_base/batch.h
             usr/lib/libkvx_base_batch.so.1 usr/lib/libkvx_base_batch.so usr/lib/pkgconfig/kvx_base_batch.pc
             usr/lib/pkgconfig/kvx_base.pc usr/share/kvx_base/host_functions.list usr/share/kvx_base/catalogue.json
             usr/include/kvx_base/parameters.h usr/include/kvx_base/shader_table.h
             usr/lib/kvx_base/checked/libkvx_base.so usr/share/doc/kvx-base-dev/host-interface.md
             usr/share/doc/kvx-base-dev/examples/hosts/c/host.c usr/share/doc/kvx-host/examples/rings.kvx
             usr/share/doc/kvx-base/copyright)
  if(NOT EXISTS ${root}/${file})
    message(FATAL_ERROR "no ${file} in the packages")
  endif()
endforeach()

foreach(package kvx-base kvx-base-checked kvx-base-dev kvx-host python3-kvx)
  if(EXISTS ${root}/usr/share/doc/${package})
    file(READ ${root}/usr/share/doc/${package}/copyright copyright)
    if(NOT copyright MATCHES "\nLicense: Apache-2.0\n")
      message(FATAL_ERROR "${package}'s copyright file does not give the Apache License 2.0")
    endif()
  endif()
endforeach()

kvx_run(${CMAKE_COMMAND} -E env --unset=KVX_LIBRARY ${root}/usr/bin/kvx-host list)
if(NOT output MATCHES "402 shaders in ${root}/usr/lib/kvx_base/libkvx_base.so")
  message(FATAL_ERROR "the unpacked kvx-host did not load the unpacked plug-in:\n${output}")
endif()
if(PYTHON)
  file(GLOB site ${root}/usr/lib/python3*/dist-packages)
  kvx_run(${CMAKE_COMMAND} -E env --unset=KVX_LIBRARY PYTHONPATH=${site}
      ${PYTHON} -c "import kvx\nprint(kvx.__file__, kvx.Library().path, kvx.Library().eval('Math_float_add', left=1, right=2))")
  if(NOT output MATCHES "^${site}/kvx[^ ]*\\.so ${root}/usr/lib/kvx_base/libkvx_base.so 3.0")
    message(FATAL_ERROR "the unpacked Python module did not load the unpacked plug-in:\n${output}")
  endif()
endif()
file(GLOB site ${root}/usr/lib/python3*/dist-packages)
check_example_hosts(${root}/usr ${WORK_DIR}/hosts ${root}/usr/bin/kvx-host ${C_COMPILER} "${PYTHON}" "${site}")
message(STATUS "packages made, checked and run from ${root}")
