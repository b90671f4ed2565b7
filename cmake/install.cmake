# SPDX-License-Identifier: Apache-2.0
# Installation: the plug-in, the batch library, kvx-host with its manual page and completion, the
# headers a renderer's build compiles against, the docs, and a CMake package
# (the exported targets kvx::base, kvx::batch and kvx::headers) and a pkg-config file that
# locate the plug-in. Components are the Debian packages (packaging.cmake).
include(CMakePackageConfigHelpers)
set(KVX_HOST_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/${KVX_DEB_host})

install(TARGETS kvx_base EXPORT kvx_base LIBRARY DESTINATION ${KVX_INSTALL_PLUGINDIR} COMPONENT plugin)
if(TARGET kvx_base_checked)
  install(TARGETS kvx_base_checked LIBRARY DESTINATION ${KVX_INSTALL_CHECKED_PLUGINDIR} COMPONENT checked)
endif()
install(TARGETS kvx_base_batch EXPORT kvx_base LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT batch
        NAMELINK_COMPONENT dev)
install(TARGETS kvx_headers EXPORT kvx_base FILE_SET HEADERS DESTINATION ${KVX_INSTALL_INCLUDEDIR} COMPONENT dev)
install(EXPORT kvx_base NAMESPACE kvx:: DESTINATION ${KVX_INSTALL_CMAKEDIR} COMPONENT dev)
configure_package_config_file(cmake/kvx_baseConfig.cmake.in ${PROJECT_BINARY_DIR}/kvx_baseConfig.cmake
  INSTALL_DESTINATION ${KVX_INSTALL_CMAKEDIR}
  PATH_VARS KVX_INSTALL_PLUGIN KVX_INSTALL_CHECKED_PLUGIN KVX_INSTALL_DATADIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kvx_baseConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kvx_baseConfig.cmake ${PROJECT_BINARY_DIR}/kvx_baseConfigVersion.cmake
        DESTINATION ${KVX_INSTALL_CMAKEDIR} COMPONENT dev)
file(RELATIVE_PATH KVX_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" KVX_PC_TO_PREFIX "${KVX_PC_TO_PREFIX}")
configure_file(cmake/kvx_base.pc.in ${PROJECT_BINARY_DIR}/kvx_base.pc @ONLY)
configure_file(cmake/kvx_base_batch.pc.in ${PROJECT_BINARY_DIR}/kvx_base_batch.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kvx_base.pc ${PROJECT_BINARY_DIR}/kvx_base_batch.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
# What a host exports for the plug-in, as a linker's dynamic list.
install(FILES host/host_functions.list DESTINATION ${KVX_INSTALL_DATADIR} COMPONENT dev)
# The integrator's guide and the example hosts, with the headers.
set(KVX_DEV_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/${KVX_DEB_dev})
install(FILES docs/host-interface.md DESTINATION ${KVX_DEV_DOCDIR} COMPONENT dev)
install(DIRECTORY examples/hosts DESTINATION ${KVX_DEV_DOCDIR}/examples COMPONENT dev)

if(KVX_LIBRARY_ONLY)
  return()
endif()
# The catalogue as kvx-host list --json gives it, for integrators; made by
# kvx-host, so not in a build of the library alone.
install(FILES ${PROJECT_BINARY_DIR}/catalogue.json DESTINATION ${KVX_INSTALL_DATADIR} COMPONENT dev)
install(TARGETS kvx-host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT host)
install(FILES ${PROJECT_BINARY_DIR}/kvx-host.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT host)
install(FILES ${PROJECT_BINARY_DIR}/kvx-host.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME kvx-host COMPONENT host)
install(FILES README.md docs/kvx-host.md docs/host-interface.md docs/python.md docs/performance.md docs/coverage.md
              docs/fuzzing.md docs/demo.png docs/gallery.png docs/python_smoothstep.png
        DESTINATION ${KVX_HOST_DOCDIR} COMPONENT host)
install(DIRECTORY examples DESTINATION ${KVX_HOST_DOCDIR} COMPONENT host PATTERN hosts EXCLUDE)
install(DIRECTORY docs/examples DESTINATION ${KVX_HOST_DOCDIR} COMPONENT host)
