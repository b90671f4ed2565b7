/* SPDX-License-Identifier: Apache-2.0 */
/* The library's versions, for C and C++ hosts alike. A host checks the ones
   of the interface it calls (docs/host-interface.md, "Versions"):
     - through the C interface, <shader>_version() == KVX_BASE_C_INTERFACE_VERSION
       before it calls the shader, as for any shader of this interface;
     - through the C++ interface, get_plugin_system_version() ==
       KVX_BASE_PLUGIN_SYSTEM_VERSION and get_type() == "softshader".
   The package's version says which shaders and behaviour it has: the
   catalogue grows only in new minor versions, and never changes what a shader
   computes within a major one. The plug-in's and runtime's versions are
   identity the interface carries; nothing needs to check them. */
#ifndef KVX_BASE_VERSIONS_H
#define KVX_BASE_VERSIONS_H

/* The package: kvx base shaders MAJOR.MINOR.PATCH. The build reads it here. */
#define KVX_BASE_VERSION_MAJOR 1
#define KVX_BASE_VERSION_MINOR 0
#define KVX_BASE_VERSION_PATCH 0
#define KVX_BASE_VERSION "1.0.0"

/* What <shader>_version() returns. */
#define KVX_BASE_C_INTERFACE_VERSION 4
/* What ZR::PLUG::Plugin::get_plugin_system_version() returns. */
#define KVX_BASE_PLUGIN_SYSTEM_VERSION 2
/* What a shader plug-in's get_version() returns. */
#define KVX_BASE_PLUGIN_VERSION 2
/* What get_runtime_version() returns, one string for every plug-in. */
#define KVX_BASE_RUNTIME_VERSION "2.0.0"

#endif
