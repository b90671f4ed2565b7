# SPDX-License-Identifier: Apache-2.0
# Finding what the build needs, and when it is missing, naming the Debian
# package that provides it: scripts/setup.sh installs them all.

# kvx_find_package(PACKAGE DEBIAN_PACKAGE [find_package arguments...])
macro(kvx_find_package package debian_package)
  find_package(${package} ${ARGN} QUIET)
  if(NOT ${package}_FOUND)
    message(FATAL_ERROR "${package} was not found: install Debian's ${debian_package} "
                        "(scripts/setup.sh installs every package the project uses)")
  endif()
endmacro()

# kvx_find_program(VARIABLE PROGRAM DEBIAN_PACKAGE)
function(kvx_find_program variable program debian_package)
  find_program(${variable} ${program})
  if(NOT ${variable})
    message(FATAL_ERROR "${program} was not found: install Debian's ${debian_package} "
                        "(scripts/setup.sh installs every package the project uses)")
  endif()
endfunction()
