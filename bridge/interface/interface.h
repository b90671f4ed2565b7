// SPDX-License-Identifier: Apache-2.0
// The host renderer as the library sees it: four C functions it imports from
// the host process, and host objects called through their virtual tables.
//
// The host calls and is called by slot number, so every virtual table below
// reproduces the host's slot order exactly; slots the library never calls are
// held by placeholders. These classes are implemented by the host, never by the
// library, and have no virtual destructor: their lifetime is the host's.
#pragma once

#include <cstdint>

namespace ZR::SHADER {

class State;

// Values the host returns by value.
struct Vector2 { float x, y; };
struct Vector3 { float x, y, z; };
struct Vector4 { float x, y, z, w; };
struct Color { float r, g, b, a; };

class Shader_system;
class Brdf;
class Event_context;
enum Event_type : int {};

// Slots the library never calls; a host implementation inherits them.
#define KVX_HOST_PLACEHOLDER(slot) virtual void unused_slot_##slot() {}

class Camera_settings {
 public:
  virtual int get_int(int id) = 0;          // 0
  virtual float get_float(int id) = 0;      // 1
  virtual Vector2 get_float2(int id) = 0;   // 2
 protected:
  ~Camera_settings() = default;
};

class Render_settings {
 public:
  virtual int get_int(int id) = 0;          // 0
  virtual float get_float(int id) = 0;      // 1
  KVX_HOST_PLACEHOLDER(2) KVX_HOST_PLACEHOLDER(3) KVX_HOST_PLACEHOLDER(4)
  KVX_HOST_PLACEHOLDER(5) KVX_HOST_PLACEHOLDER(6) KVX_HOST_PLACEHOLDER(7)
  KVX_HOST_PLACEHOLDER(8)
  virtual Camera_settings* get_camera() = 0;  // 9, borrowed
 protected:
  ~Render_settings() = default;
};

}  // namespace ZR::SHADER

// The host's C shading-state record and its evaluation settings: opaque, read
// at fixed byte offsets (bridge/interface/host_state.h).
struct Host_state;
struct Eval_settings;
// The host's list of requested outputs (filled in gathering mode).
struct Output_request_list;

namespace ZR::SHADER {

using Texture_handle = std::uint32_t;

class State {
 public:
  virtual int get_state_int(int id) = 0;          // 0
  virtual float get_state_float(int id) = 0;      // 1
  virtual Vector2 get_state_float2(int id) = 0;   // 2
  virtual Vector3 get_state_float3(int id) = 0;   // 3
  virtual Vector4 get_state_float4(int id) = 0;   // 4
  KVX_HOST_PLACEHOLDER(5) KVX_HOST_PLACEHOLDER(6) KVX_HOST_PLACEHOLDER(7)
  KVX_HOST_PLACEHOLDER(8) KVX_HOST_PLACEHOLDER(9) KVX_HOST_PLACEHOLDER(10)
  KVX_HOST_PLACEHOLDER(11) KVX_HOST_PLACEHOLDER(12) KVX_HOST_PLACEHOLDER(13)
  KVX_HOST_PLACEHOLDER(14) KVX_HOST_PLACEHOLDER(15) KVX_HOST_PLACEHOLDER(16)
  KVX_HOST_PLACEHOLDER(17) KVX_HOST_PLACEHOLDER(18) KVX_HOST_PLACEHOLDER(19)
  KVX_HOST_PLACEHOLDER(20)
  virtual Vector4 get_shadow_weight() = 0;        // 21
  KVX_HOST_PLACEHOLDER(22) KVX_HOST_PLACEHOLDER(23) KVX_HOST_PLACEHOLDER(24)
  KVX_HOST_PLACEHOLDER(25) KVX_HOST_PLACEHOLDER(26) KVX_HOST_PLACEHOLDER(27)
  KVX_HOST_PLACEHOLDER(28) KVX_HOST_PLACEHOLDER(29) KVX_HOST_PLACEHOLDER(30)
  KVX_HOST_PLACEHOLDER(31) KVX_HOST_PLACEHOLDER(32) KVX_HOST_PLACEHOLDER(33)
  KVX_HOST_PLACEHOLDER(34) KVX_HOST_PLACEHOLDER(35) KVX_HOST_PLACEHOLDER(36)
  KVX_HOST_PLACEHOLDER(37) KVX_HOST_PLACEHOLDER(38) KVX_HOST_PLACEHOLDER(39)
  KVX_HOST_PLACEHOLDER(40) KVX_HOST_PLACEHOLDER(41) KVX_HOST_PLACEHOLDER(42)
  KVX_HOST_PLACEHOLDER(43) KVX_HOST_PLACEHOLDER(44) KVX_HOST_PLACEHOLDER(45)
  KVX_HOST_PLACEHOLDER(46) KVX_HOST_PLACEHOLDER(47) KVX_HOST_PLACEHOLDER(48)
  KVX_HOST_PLACEHOLDER(49) KVX_HOST_PLACEHOLDER(50) KVX_HOST_PLACEHOLDER(51)
  KVX_HOST_PLACEHOLDER(52)
  // Texture lookups: the coordinate is read through the pointer, one float
  // for 1-D, two for 2-D, three for 3-D and cube lookups.
  virtual Color lookup_tex1d(Texture_handle texture, float const* coordinate) = 0;    // 53
  KVX_HOST_PLACEHOLDER(54)
  virtual Color lookup_tex2d(Texture_handle texture, float const* coordinate) = 0;    // 55
  KVX_HOST_PLACEHOLDER(56)
  virtual Color lookup_tex3d(Texture_handle texture, float const* coordinate) = 0;    // 57
  KVX_HOST_PLACEHOLDER(58)
  virtual Color lookup_texcube(Texture_handle texture, float const* coordinate) = 0;  // 59
  KVX_HOST_PLACEHOLDER(60)
  virtual Render_settings* get_render_settings() = 0;  // 61, borrowed
  KVX_HOST_PLACEHOLDER(62) KVX_HOST_PLACEHOLDER(63) KVX_HOST_PLACEHOLDER(64)
  KVX_HOST_PLACEHOLDER(65)
  virtual void release() = 0;                          // 66
  KVX_HOST_PLACEHOLDER(67) KVX_HOST_PLACEHOLDER(68)
  virtual Host_state* get_host_state() = 0;            // 69
  virtual Output_request_list* get_output_requests() = 0;  // 70, or null
 protected:
  ~State() = default;
};

class Runtime_interface {
 public:
  virtual void release() = 0;                         // 0
  KVX_HOST_PLACEHOLDER(1)
  virtual State* get_state(Host_state* state) = 0;    // 2, outlives release()
 protected:
  ~Runtime_interface() = default;
};

class Data_block {
 public:
  // The address of the named value, or null; the same address on every call.
  virtual void* lookup(char const* name) = 0;         // 0
  KVX_HOST_PLACEHOLDER(1)
  virtual int notify_output(char const* name) = 0;    // 2
 protected:
  ~Data_block() = default;
};

#undef KVX_HOST_PLACEHOLDER

}  // namespace ZR::SHADER

// The host's C functions. The library imports them from the host process and
// never defines them.
extern "C" {
// Codes the library asks.
enum { QUERY_INSTANCE_SLOT = 51, QUERY_GATHER_FLAG = 160 };
// Called as (code, state, 0, address of the answer).
int zr_query(int code, Host_state* state, int zero, ...);
// The address of the evaluated value of a connected parameter, laid out like its slot.
void* zr_phen_eval(Host_state* state, void* parameter);
int zr_shaderstate_set(Host_state* state, char const* key, void const* data, int size, int mode);
// Always called with 1; never null.
ZR::SHADER::Runtime_interface* zr_get_korvex_interface(int version);
}
