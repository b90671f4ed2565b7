# SPDX-License-Identifier: Apache-2.0
# Writes kvx-host's manual page and bash completion, and the catalogue as
# JSON, from kvx-host itself, so that none is written twice: the page is
# help2man's reading of --help, with each command's --help as its COMMANDS
# section; the completion is what `kvx-host completion` prints from the
# command line's definitions; the catalogue is `kvx-host list --json`, its
# library the plug-in's path below the installation's prefix.
#
#   cmake -DKVX_HOST=... -DHELP2MAN=... -DVERSION=... -DMAN_PAGE=... -DCOMPLETION=... -DWORK_DIR=...
#         -DCATALOGUE=... -DPLUGIN=... -P kvx_host_files.cmake
function(run_kvx_host output)
  execute_process(COMMAND ${KVX_HOST} ${ARGN} OUTPUT_VARIABLE text RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "kvx-host ${ARGN} failed")
  endif()
  set(${output} "${text}" PARENT_SCOPE)
endfunction()

run_kvx_host(completion completion)
file(WRITE ${COMPLETION} "${completion}")

run_kvx_host(catalogue list --json)
string(JSON built GET "${catalogue}" library)
string(REPLACE "\"library\": \"${built}\"" "\"library\": \"${PLUGIN}\"" catalogue "${catalogue}")
file(WRITE ${CATALOGUE} "${catalogue}")

# The commands, as the top-level help lists them under "Subcommands:".
run_kvx_host(help --help)
string(REGEX REPLACE "^.*\nSubcommands:\n" "" listed "${help}")
string(REGEX MATCHALL "(^|\n)  [a-z]+ " commands "${listed}")
set(include "[COMMANDS]\n")
foreach(command IN LISTS commands)
  string(STRIP "${command}" command)
  run_kvx_host(command_help ${command} --help)
  # roff: a leading dot or quote would be read as a request; a backslash escapes.
  string(REPLACE "\\" "\\e" command_help "${command_help}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" command_help "${command_help}")
  string(APPEND include ".SS ${command}\n.nf\n${command_help}.fi\n")
endforeach()
file(WRITE ${WORK_DIR}/commands.h2m "${include}")

execute_process(
  COMMAND ${HELP2MAN} --no-info --version-string=${VERSION} --include=${WORK_DIR}/commands.h2m
          "--name=drive the kvx base shader library as a renderer does" --output=${MAN_PAGE} ${KVX_HOST}
  RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "help2man failed")
endif()
execute_process(COMMAND gzip -9nkf ${MAN_PAGE} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "gzip failed")
endif()
