# SPDX-License-Identifier: Apache-2.0
# cmake -DSOURCE_DIR=... -DOUTPUT_DIR=... -DHEADERS="folder/file;..." -DALIASES="alias=folder/file;..."
#       -P public_headers.cmake
# The headers hosts compile against, as they are installed: under a root of
# the project's own, OUTPUT_DIR/kvx_base/, each including the others as
# <kvx_base/folder/file>, so that no folder of ours meets a renderer's own.
# An alias is a header of its own name that includes the one it stands for.
foreach(header IN LISTS HEADERS)
  file(READ ${SOURCE_DIR}/${header} text)
  string(REGEX REPLACE "#include <(bridge|catalogue|plugin)/" "#include <kvx_base/\\1/" text "${text}")
  set(output ${OUTPUT_DIR}/kvx_base/${header})
  file(WRITE ${output}.tmp "${text}")
  file(COPY_FILE ${output}.tmp ${output} ONLY_IF_DIFFERENT)
  file(REMOVE ${output}.tmp)
endforeach()
foreach(alias IN LISTS ALIASES)
  string(REPLACE "=" ";" pair "${alias}")
  list(GET pair 0 name)
  list(GET pair 1 header)
  set(output ${OUTPUT_DIR}/kvx_base/${name})
  file(WRITE ${output}.tmp "/* SPDX-License-Identifier: Apache-2.0 */\n/* <kvx_base/${name}>: the same as <kvx_base/${header}>. */\n#include <kvx_base/${header}>\n")
  file(COPY_FILE ${output}.tmp ${output} ONLY_IF_DIFFERENT)
  file(REMOVE ${output}.tmp)
endforeach()
