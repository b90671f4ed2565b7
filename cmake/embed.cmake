# SPDX-License-Identifier: Apache-2.0
# kvx_embed_files(OUTPUT FILE.cpp NAMESPACE ns FUNCTION name FILES "path|type|file" ...)
# Builds files of the tree into a program: FILE.cpp defines
# std::span<kvx::editor::Page_file const> ns::name() with each file's bytes,
# the path it is known by and its type. Pages are kept as files and fetched
# from nowhere at run time.
function(kvx_embed_files)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "OUTPUT;NAMESPACE;FUNCTION" "FILES")
  set(sources "")
  foreach(item IN LISTS arg_FILES)
    string(REPLACE "|" ";" fields "${item}")
    list(GET fields 2 file)
    list(APPEND sources ${file})
  endforeach()
  string(REPLACE ";" "," list "${arg_FILES}")
  add_custom_command(
    OUTPUT ${arg_OUTPUT}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${arg_OUTPUT} -DNAMESPACE=${arg_NAMESPACE} -DFUNCTION=${arg_FUNCTION}
            "-DFILES=${list}" -P ${PROJECT_SOURCE_DIR}/cmake/embed_page.cmake
    DEPENDS ${sources} ${PROJECT_SOURCE_DIR}/cmake/embed_page.cmake
    COMMENT "Building ${arg_NAMESPACE}::${arg_FUNCTION}() into the program"
    VERBATIM)
endfunction()
