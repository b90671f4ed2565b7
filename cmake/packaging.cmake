# SPDX-License-Identifier: Apache-2.0
# Debian packages from the release build: `cpack -G DEB` in the build tree.
#
#   kvx-base        the plug-in
#   kvx-base-checked  the checked plug-in, beside it
#   libkvx-base-batch1  the batch library, every shader over arrays of points
#   kvx-base-dev    its interface headers, CMake package and pkg-config file,
#                   the integrator's guide and the example hosts
#   kvx-host        the reference host tool, its manual page, completion, docs and example networks
#   python3-kvx     the Python module
#
# Each package carries its copyright and changelog; dependencies on system
# libraries come from dpkg-shlibdeps.
set(KVX_MAINTAINER "kvx base shaders developers <maintainers@kvx.example>")
set(KVX_RELEASE_DATE "Sun, 06 Dec 2026 00:00:00 +0000")

set(kvx_components plugin batch dev host)
if(TARGET kvx_base_checked)
  list(APPEND kvx_components checked)
endif()
if(TARGET kvx_python)
  list(APPEND kvx_components python)
  math(EXPR KVX_NEXT_PYTHON_MINOR "${Python3_VERSION_MINOR} + 1")
endif()
foreach(component IN LISTS kvx_components)
  set(package ${KVX_DEB_${component}})
  set(changelog ${PROJECT_BINARY_DIR}/debian/${package}/changelog)
  file(WRITE ${changelog}
    "${package} (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
    "  * Release ${PROJECT_VERSION}.\n\n"
    " -- ${KVX_MAINTAINER}  ${KVX_RELEASE_DATE}\n")
  execute_process(COMMAND gzip -9nf ${changelog})
  install(FILES ${changelog}.gz cmake/debian/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package}
          COMPONENT ${component})
  # What lintian warns of that is meant, each with its reason.
  if(EXISTS ${PROJECT_SOURCE_DIR}/cmake/debian/lintian/${package})
    install(FILES cmake/debian/lintian/${package} DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
            COMPONENT ${component})
  endif()
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kvx-base)
set(CPACK_PACKAGE_VENDOR "kvx base shaders")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_CONTACT "${KVX_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "base shaders for a host renderer, as a plug-in library")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENTS_ALL ${kvx_components})

set(CPACK_DEBIAN_PLUGIN_PACKAGE_NAME ${KVX_DEB_plugin})
set(CPACK_COMPONENT_PLUGIN_DESCRIPTION
  "402 base shaders as a plug-in library for a host renderer\n"
  "Component-wise math over scalars, vectors and colors, comparisons and\n"
  "selection, vector geometry, texture lookups and read-outs of the renderer's\n"
  "state, reached through a C interface and a C++ plug-in interface that\n"
  "compute identical bits.")

set(CPACK_DEBIAN_CHECKED_PACKAGE_NAME ${KVX_DEB_checked})
set(CPACK_COMPONENT_CHECKED_DESCRIPTION
  "the kvx base shaders with every reliance on the host checked\n"
  "The same plug-in as kvx-base, built with every reliance on the host\n"
  "checked: each mistake a host makes is reported in one line that names the\n"
  "shader, what the host did and the step of the integrator's guide it\n"
  "breaks. A host loads it while it is written, from lib/kvx_base/checked/.")

set(CPACK_DEBIAN_BATCH_PACKAGE_NAME ${KVX_DEB_batch})
set(CPACK_DEBIAN_BATCH_PACKAGE_SECTION libs)
# A shared library on the loader's path: its shlibs, and ldconfig run by a trigger.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_BATCH_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)
set(CPACK_COMPONENT_BATCH_DESCRIPTION
  "the kvx base shaders over arrays of points\n"
  "Every one of the 402 base shaders as a function over many points at once,\n"
  "for hosts that shade in waves: each point bit for bit what the plug-in's C\n"
  "entry computes, on whichever of SSE2, AVX2 and AVX-512 the processor has.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME ${KVX_DEB_dev})
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEV_DEPENDS plugin batch)
# The guide points to kvx-host's manual for the grid the examples shade on.
set(CPACK_DEBIAN_DEV_PACKAGE_RECOMMENDS ${KVX_DEB_host})
set(CPACK_COMPONENT_DEV_DESCRIPTION
  "headers for hosts of the kvx base shaders\n"
  "The declarations of the plug-in's functions and the host's side of its\n"
  "interface for C and C++ hosts, with a CMake package (find_package(kvx_base))\n"
  "and a pkg-config file that locate the plug-in, the batch library's header\n"
  "and pkg-config file, the integrator's guide and the example hosts.")

set(CPACK_DEBIAN_HOST_PACKAGE_NAME ${KVX_DEB_host})
set(CPACK_COMPONENT_HOST_DEPENDS plugin batch)
set(CPACK_COMPONENT_HOST_DESCRIPTION
  "reference host for the kvx base shaders\n"
  "kvx-host loads the plug-in as a renderer does: it lists and describes the\n"
  "shaders, evaluates them, shades networks of them into EXR and PNG on both\n"
  "interfaces, and draws the catalogue as a page.")

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME ${KVX_DEB_python})
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_COMPONENT_PYTHON_DEPENDS plugin batch)
# The interpreter the module was built for.
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
  "python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}), python3 (<< ${Python3_VERSION_MAJOR}.${KVX_NEXT_PYTHON_MINOR}), python3-numpy")
set(CPACK_COMPONENT_PYTHON_DESCRIPTION
  "Python module for the kvx base shaders\n"
  "The module kvx evaluates the library's shaders and shades networks of them\n"
  "into NumPy arrays.")

include(CPack)
