/* SPDX-License-Identifier: Apache-2.0 */
/* The host's side of the interface for a renderer written in C (C11): the
   objects it implements for the library to call, and the records the library
   reads, laid out exactly as the C++ interface (bridge/interface/interface.h) and
   bridge/interface/host_state.h lay them out; a test holds the two to each other.

   An object is a struct whose first member points to its table of
   functions. Each function takes the object as its first argument, where the
   C++ interface passes `this`; the library calls only the slots named here,
   and the `unused` ones are the host's to fill with anything callable.

   The host defines `struct Host_state` and `struct Eval_settings` itself:
   the library reads them only at the offsets of kvx_host_state_fields and
   kvx_eval_settings_fields, which a host's record may simply begin with. */
#ifndef KVX_BASE_C_HOST_H
#define KVX_BASE_C_HOST_H

#include <stddef.h>
#include <stdint.h>

#include <bridge/interface/c_entries.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Values returned by value, as the C++ interface's Vector2 ... Color. */
typedef struct kvx_vector2 {
  float x, y;
} kvx_vector2;
typedef struct kvx_vector3 {
  float x, y, z;
} kvx_vector3;
typedef struct kvx_vector4 {
  float x, y, z, w;
} kvx_vector4;
typedef struct kvx_color {
  float r, g, b, a;
} kvx_color;
typedef uint32_t kvx_texture_handle;

/* A slot the library never calls. */
typedef void (*kvx_unused_slot)(void* self);

typedef struct kvx_camera_settings kvx_camera_settings;
typedef struct kvx_camera_settings_table {
  int (*get_int)(kvx_camera_settings* self, int id);            /* 0 */
  float (*get_float)(kvx_camera_settings* self, int id);        /* 1 */
  kvx_vector2 (*get_float2)(kvx_camera_settings* self, int id); /* 2 */
} kvx_camera_settings_table;
struct kvx_camera_settings {
  kvx_camera_settings_table const* table;
};

typedef struct kvx_render_settings kvx_render_settings;
typedef struct kvx_render_settings_table {
  int (*get_int)(kvx_render_settings* self, int id);      /* 0 */
  float (*get_float)(kvx_render_settings* self, int id);  /* 1 */
  kvx_unused_slot unused_2_to_8[7];                       /* 2 to 8 */
  kvx_camera_settings* (*get_camera)(kvx_render_settings* self); /* 9, borrowed */
} kvx_render_settings_table;
struct kvx_render_settings {
  kvx_render_settings_table const* table;
};

typedef struct kvx_output_request_list kvx_output_request_list;

/* The State of one shading evaluation, which the library releases once. */
typedef struct kvx_state kvx_state;
typedef struct kvx_state_table {
  int (*get_state_int)(kvx_state* self, int id);             /* 0 */
  float (*get_state_float)(kvx_state* self, int id);         /* 1 */
  kvx_vector2 (*get_state_float2)(kvx_state* self, int id);  /* 2 */
  kvx_vector3 (*get_state_float3)(kvx_state* self, int id);  /* 3 */
  kvx_vector4 (*get_state_float4)(kvx_state* self, int id);  /* 4 */
  kvx_unused_slot unused_5_to_20[16];                        /* 5 to 20 */
  kvx_vector4 (*get_shadow_weight)(kvx_state* self);         /* 21 */
  kvx_unused_slot unused_22_to_52[31];                       /* 22 to 52 */
  /* Texture lookups: the coordinate is read through the pointer, one float
     for 1-D, two for 2-D, three for 3-D and cube lookups. */
  kvx_color (*lookup_tex1d)(kvx_state* self, kvx_texture_handle texture, float const* coordinate);   /* 53 */
  kvx_unused_slot unused_54;
  kvx_color (*lookup_tex2d)(kvx_state* self, kvx_texture_handle texture, float const* coordinate);   /* 55 */
  kvx_unused_slot unused_56;
  kvx_color (*lookup_tex3d)(kvx_state* self, kvx_texture_handle texture, float const* coordinate);   /* 57 */
  kvx_unused_slot unused_58;
  kvx_color (*lookup_texcube)(kvx_state* self, kvx_texture_handle texture, float const* coordinate); /* 59 */
  kvx_unused_slot unused_60;
  kvx_render_settings* (*get_render_settings)(kvx_state* self); /* 61, borrowed */
  kvx_unused_slot unused_62_to_65[4];                           /* 62 to 65 */
  void (*release)(kvx_state* self);                             /* 66 */
  kvx_unused_slot unused_67_to_68[2];                           /* 67, 68 */
  Host_state* (*get_host_state)(kvx_state* self);               /* 69 */
  kvx_output_request_list* (*get_output_requests)(kvx_state* self); /* 70, or null */
} kvx_state_table;
struct kvx_state {
  kvx_state_table const* table;
};

/* What zr_get_korvex_interface(1) answers: released as soon as the library
   has its State. */
typedef struct kvx_runtime_interface kvx_runtime_interface;
typedef struct kvx_runtime_interface_table {
  void (*release)(kvx_runtime_interface* self);                         /* 0 */
  kvx_unused_slot unused_1;                                             /* 1 */
  kvx_state* (*get_state)(kvx_runtime_interface* self, Host_state* state); /* 2, outlives release */
} kvx_runtime_interface_table;
struct kvx_runtime_interface {
  kvx_runtime_interface_table const* table;
};

/* A shader object's inputs and outputs, by name (the C++ interface's
   Data_block): lookup answers the address of the named value, or null, the
   same address on every call; values are as wide as their type (a float2 8
   bytes, a bool 1), and "result" in an output block is 16 bytes. */
typedef struct kvx_data_block kvx_data_block;
typedef struct kvx_data_block_table {
  void* (*lookup)(kvx_data_block* self, char const* name);     /* 0 */
  kvx_unused_slot unused_1;                                    /* 1 */
  int (*notify_output)(kvx_data_block* self, char const* name); /* 2 */
} kvx_data_block_table;
struct kvx_data_block {
  kvx_data_block_table const* table;
};

/* The fields of the host's records the library reads, at their offsets. */
typedef struct kvx_eval_settings_fields {
  unsigned char unread_0[0x60];
  int32_t tag_offset; /* 0x60: from a parameter's slot to its tag; 0: no tags */
  unsigned char unread_64[0x6d - 0x64];
  uint8_t integer_tags; /* 0x6d: exactly 1 tags int, bool and texture parameters too */
} kvx_eval_settings_fields;

typedef struct kvx_host_state_fields {
  unsigned char unread_0[0x40];
  int32_t ray_type; /* 0x40 */
  unsigned char unread_44[0xa4 - 0x44];
  uint32_t shadow_context; /* 0xa4 */
  unsigned char unread_a8[0xd0 - 0xa8];
  float normal[3]; /* 0xd0 */
  unsigned char unread_dc[0x138 - 0xdc];
  void* eval_settings; /* 0x138: the host's Eval_settings, or null: no tags */
} kvx_host_state_fields;

/* In gathering mode, the outputs the host asks for. */
typedef struct kvx_output_request {
  uint32_t kind; /* 1: by name; else by state id */
  uint32_t unread_4;
  union {
    char const* name; /* "result", or another name: zeros */
    uint32_t id;      /* a state id, answered from the State */
  } which;
} kvx_output_request;

struct kvx_output_request_list {
  uint32_t count;
  uint32_t unread_4;
  kvx_output_request const* entries;
  uint32_t const* type_codes; /* 2 to 5 (1 to 4 floats), 12: 16 bytes */
  void* const* destinations;
  uint8_t done; /* set to 1 once every request is answered */
};

/* What zr_query is asked, and the tags a parameter block holds. */
enum {
  KVX_QUERY_INSTANCE_SLOT = 51, /* answers a void**: the instance's slot */
  KVX_QUERY_GATHER_FLAG = 160   /* answers a 32-bit flag: 1 in gathering mode */
};
#define KVX_TAG_UNSET 0u               /* the declared default */
#define KVX_TAG_CONSTANT 0xFFFFFFFEu   /* the value in the slot */
/* Any other tag: a connection, which zr_phen_eval evaluates. */

#ifndef __cplusplus
/* The four functions the host exports for the plug-in to import. */
int zr_query(int code, Host_state* state, int zero, ...);
void* zr_phen_eval(Host_state* state, void* parameter);
int zr_shaderstate_set(Host_state* state, char const* key, void const* data, int size, int mode);
kvx_runtime_interface* zr_get_korvex_interface(int version);

_Static_assert(offsetof(kvx_host_state_fields, eval_settings) == 0x138, "Host_state layout");
_Static_assert(offsetof(kvx_eval_settings_fields, integer_tags) == 0x6d, "Eval_settings layout");
_Static_assert(sizeof(kvx_output_request) == 16, "output request layout");
#endif

#ifdef __cplusplus
}
#endif

#endif
