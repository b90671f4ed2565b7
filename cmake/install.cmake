# SPDX-License-Identifier: Apache-2.0
# Installation: the plug-in, kvx-host with its manual page and completion, the
# headers a renderer's build compiles against, the docs, and a CMake package
# (the exported targets kvx::base and kvx::headers) and a pkg-config file that
# locate the plug-in. Components are the Debian packages (packaging.cmake).
include(CMakePackageConfigHelpers)
set(KVX_HOST_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/${KVX_DEB_host})

install(TARGETS kvx_base EXPORT kvx_base LIBRARY DESTINATION ${KVX_INSTALL_PLUGINDIR} COMPONENT plugin)
if(TARGET kvx_base_checked)
  install(TARGETS kvx_base_checked LIBRARY DESTINATION ${KVX_INSTALL_CHECKED_PLUGINDIR} COMPONENT checked)
endif()
install(TARGETS kvx_headers EXPORT kvx_base FILE_SET HEADERS DESTINATION ${KVX_INSTALL_INCLUDEDIR} COMPONENT dev)
install(EXPORT kvx_base NAMESPACE kvx:: DESTINATION ${KVX_INSTALL_CMAKEDIR} COMPONENT dev)
configure_package_config_file(cmake/kvx_baseConfig.cmake.in ${PROJECT_BINARY_DIR}/kvx_baseConfig.cmake
  INSTALL_DESTINATION ${KVX_INSTALL_CMAKEDIR}
  PATH_VARS KVX_INSTALL_PLUGIN)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kvx_baseConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kvx_baseConfig.cmake ${PROJECT_BINARY_DIR}/kvx_baseConfigVersion.cmake
        DESTINATION ${KVX_INSTALL_CMAKEDIR} COMPONENT dev)
configure_file(cmake/kvx_base.pc.in ${PROJECT_BINARY_DIR}/kvx_base.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kvx_base.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

install(TARGETS kvx-host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT host)
install(FILES ${PROJECT_BINARY_DIR}/kvx-host.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT host)
install(FILES ${PROJECT_BINARY_DIR}/kvx-host.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME kvx-host COMPONENT host)
install(FILES README.md docs/kvx-host.md docs/host-interface.md docs/python.md docs/performance.md docs/coverage.md
              docs/fuzzing.md docs/demo.png docs/gallery.png docs/python_smoothstep.png
        DESTINATION ${KVX_HOST_DOCDIR} COMPONENT host)
install(DIRECTORY examples docs/examples DESTINATION ${KVX_HOST_DOCDIR} COMPONENT host)
