# SPDX-License-Identifier: Apache-2.0
# The tests of the tools built on the library: kvx-host as a user runs it,
# its page in the browser, the installation and the Debian packages.
kvx_find_package(OpenEXR libopenexr-dev CONFIG)
kvx_find_package(nlohmann_json nlohmann-json3-dev 3 CONFIG)

# kvx-host is tested as a user runs it.
add_executable(kvx_host_tests command.cpp images.cpp serving.cpp gallery_test.cpp kvx_host_test.cpp
                              serve_connections_test.cpp serve_test.cpp shade_test.cpp)
kvx_own_flags(kvx_host_tests)
target_include_directories(kvx_host_tests PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(kvx_host_tests PRIVATE GTest::gtest GTest::gtest_main OpenEXR::OpenEXR nlohmann_json::nlohmann_json
                      PkgConfig::HTTPLIB)
target_compile_definitions(kvx_host_tests PRIVATE KVX_HOST_PATH="$<TARGET_FILE:kvx-host>" KVX_VERSION="${PROJECT_VERSION}"
                           KVX_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples" KVX_BUILD_DIR="${PROJECT_BINARY_DIR}"
                           KVX_FAULTY_PLUGIN="$<TARGET_FILE:kvx_faulty_plugin>"
                           KVX_FAULTY_BATCH="$<TARGET_FILE:kvx_faulty_batch>")
add_dependencies(kvx_host_tests kvx-host kvx_base kvx_faulty_plugin kvx_faulty_batch)

# A plug-in whose two paths differ where a float cannot tell (faulty_plugin.cpp),
# and a batch library that differs so from both (faulty_batch.cpp): what every
# comparison of the paths must still find.
add_library(kvx_faulty_plugin MODULE faulty_plugin.cpp)
kvx_own_flags(kvx_faulty_plugin)
target_include_directories(kvx_faulty_plugin PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(kvx_faulty_plugin PRIVATE KVX_PLUGIN_PATH="$<TARGET_FILE:kvx_base>")
target_link_libraries(kvx_faulty_plugin PRIVATE ${CMAKE_DL_LIBS})
add_library(kvx_faulty_batch MODULE faulty_batch.cpp)
kvx_own_flags(kvx_faulty_batch)
target_include_directories(kvx_faulty_batch PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(kvx_faulty_batch PRIVATE KVX_BATCH_LIBRARY_PATH="$<TARGET_SONAME_FILE:kvx_base_batch>")
target_link_libraries(kvx_faulty_batch PRIVATE ${CMAKE_DL_LIBS})

set_target_properties(kvx_host_tests PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 3)
if(KVX_DISCOVER_TESTS)
  gtest_discover_tests(kvx_host_tests DISCOVERY_TIMEOUT 60)
else()
  # The gallery cases run apart from the other kvx-host cases, so that the two
  # halves keep two cores busy.
  add_test(NAME kvx_host_gallery_tests COMMAND kvx_host_tests --gtest_filter=Gallery.*)
  add_test(NAME kvx_host_tests COMMAND kvx_host_tests --gtest_filter=-Gallery.*)
endif()

# kvx-host serve's page in Debian's headless Chromium, driven by puppeteer-core
# (tests/browser, which scripts/setup.sh installs). Not instrumented builds:
# the page's timings would be the sanitizers'.
if(NOT KVX_SANITIZE AND NOT KVX_COVERAGE)
  kvx_find_program(KVX_NODE node nodejs)
  add_test(NAME serve_browser_test COMMAND ${KVX_NODE} ${CMAKE_CURRENT_SOURCE_DIR}/browser/serve_test.mjs)
  set_tests_properties(serve_browser_test PROPERTIES
    ENVIRONMENT "KVX_HOST=$<TARGET_FILE:kvx-host>;KVX_EXAMPLES=${PROJECT_SOURCE_DIR}/examples;KVX_FAULTY_PLUGIN=$<TARGET_FILE:kvx_faulty_plugin>")
endif()

# kvx-host against the checked plug-in (label "checked"): it makes no
# mistake, so any finding aborts it.
if(KVX_BUILD_CHECKED AND NOT KVX_DISCOVER_TESTS)
  add_test(NAME kvx_host_gallery_tests_checked COMMAND kvx_host_tests --gtest_filter=Gallery.*)
  add_test(NAME kvx_host_tests_checked COMMAND kvx_host_tests --gtest_filter=-Gallery.*)
  set(checked_tests kvx_host_gallery_tests_checked kvx_host_tests_checked)
  set_tests_properties(kvx_host_gallery_tests_checked kvx_host_tests_checked PROPERTIES
    ENVIRONMENT "${checked_plugin};KVX_CHECK=abort")
  if(TEST serve_browser_test)
    add_test(NAME serve_browser_test_checked COMMAND ${KVX_NODE} ${CMAKE_CURRENT_SOURCE_DIR}/browser/serve_test.mjs)
    get_test_property(serve_browser_test ENVIRONMENT browser_environment)
    set_tests_properties(serve_browser_test_checked PROPERTIES
      ENVIRONMENT "${browser_environment};${checked_plugin};KVX_CHECK=abort")
    list(APPEND checked_tests serve_browser_test_checked)
  endif()
  set_tests_properties(${checked_tests} PROPERTIES LABELS checked)
endif()

set(sanitized OFF)
if(KVX_SANITIZE)
  set(sanitized ON)
endif()
add_test(NAME install_and_find_package
  COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR} -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/install_test
          -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DPYTHON=$<$<TARGET_EXISTS:kvx_python>:${Python3_EXECUTABLE}>
          -DPYTHON_DIR=${KVX_PYTHON_INSTALL_DIR} -DSANITIZED=${sanitized} -DC_COMPILER=${CMAKE_C_COMPILER}
          -P ${CMAKE_CURRENT_SOURCE_DIR}/install_test.cmake)
if(NOT KVX_SANITIZE AND NOT KVX_COVERAGE)
  add_test(NAME debian_packages
    COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR} -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/debian_packages
            -DPYTHON=$<$<TARGET_EXISTS:kvx_python>:${Python3_EXECUTABLE}> -DC_COMPILER=${CMAKE_C_COMPILER}
            -P ${CMAKE_CURRENT_SOURCE_DIR}/debian_packages_test.cmake)
endif()
