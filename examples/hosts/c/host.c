/* SPDX-License-Identifier: Apache-2.0 */
/* A host written in C for the kvx base shaders. It loads the plug-in with
   dlopen, exports the four functions the plug-in imports, implements the host
   objects the library calls, and evaluates three shaders through the C
   interface, printing each result as `kvx-host eval` prints it:

     Math_float_add       constant parameters: 1.5 + 2.25
     Math_float_sin       a parameter connected to another node's value (0.5),
                          which the library asks for through zr_phen_eval
     State_parametric_uv  a read-out of the renderer's state: (0.25, 0.75)

   Built with pkg-config against the installed package:

     cc -std=c11 $(pkg-config --cflags kvx_base) host.c $(pkg-config --libs kvx_base) -o host
     ./host "$(pkg-config --variable=plugin kvx_base)"

   The steps named below are those of the integrator's guide,
   docs/host-interface.md. */
#include <dlfcn.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <kvx_base/bridge/interface/c_entries.h>
#include <kvx_base/bridge/interface/c_host.h>
#include <kvx_base/bridge/interface/versions.h>
#include <kvx_base/parameters.h>

/* ---- The host's records and its one instance at a time */

/* An instance of a shader: its C parameter block and the slot the library
   keeps its record in (zr_query 51). The blocks are the shaders' own from
   <kvx_base/parameters.h>: each tag lies KVX_TAG_OFFSET bytes after its
   slot, the distance the host says in Eval_settings. */
typedef struct Instance {
  void* parameters;
  void* slot;
} Instance;

/* The library reads the fields at their offsets; the host keeps what it
   likes after them: here, which instance the evaluation is for. */
struct Host_state {
  kvx_host_state_fields fields;
  Instance* instance;
};

static kvx_eval_settings_fields settings;
static struct Host_state record;

/* A connection's tag is the host's own handle for it: any value but
   KVX_TAG_UNSET and KVX_TAG_CONSTANT. Here: an index into the values that
   other nodes of the renderer's network computed. */
static float connected_values[] = {0.5f};
enum { FIRST_CONNECTION = 1 };

/* ---- The host objects (from step 6 of docs/host-interface.md): each is a
   table of functions */

static void never_called(void* self) {
  (void)self;
  fprintf(stderr, "host: the library called a slot it never calls\n");
  abort();
}

static kvx_vector2 parametric_uv = {0.25f, 0.75f}; /* state id 18 */

/* The State answers what the renderer knows of the point being shaded. */
static kvx_vector2 state_float2(kvx_state* self, int id) {
  (void)self;
  kvx_vector2 const none = {0.0f, 0.0f};
  return id == 18 ? parametric_uv : none;
}
static int state_int(kvx_state* self, int id) {
  (void)self;
  (void)id;
  return 0;
}
static float state_float(kvx_state* self, int id) {
  (void)self;
  (void)id;
  return 0.0f;
}
static kvx_vector3 state_float3(kvx_state* self, int id) {
  (void)self;
  (void)id;
  kvx_vector3 const none = {0.0f, 0.0f, 0.0f};
  return none;
}
static kvx_vector4 state_float4(kvx_state* self, int id) {
  (void)self;
  (void)id;
  kvx_vector4 const none = {0.0f, 0.0f, 0.0f, 0.0f};
  return none;
}
static kvx_vector4 shadow_weight(kvx_state* self) {
  (void)self;
  kvx_vector4 const full = {1.0f, 1.0f, 1.0f, 1.0f};
  return full;
}
/* The library releases every State it was given, once (step 13 of
   docs/host-interface.md). */
static int released_states = 0;
static void state_release(kvx_state* self) {
  (void)self;
  ++released_states;
}
static Host_state* state_host_state(kvx_state* self) {
  (void)self;
  return &record;
}
static kvx_output_request_list* state_output_requests(kvx_state* self) {
  (void)self;
  return NULL; /* plain mode only here */
}

static kvx_state_table state_table;
static kvx_state state = {&state_table};

static void fill(kvx_unused_slot* slots, size_t count) {
  for (size_t i = 0; i < count; ++i) slots[i] = never_called;
}

static void make_state_table(void) {
  state_table.get_state_int = state_int;
  state_table.get_state_float = state_float;
  state_table.get_state_float2 = state_float2;
  state_table.get_state_float3 = state_float3;
  state_table.get_state_float4 = state_float4;
  fill(state_table.unused_5_to_20, 16);
  state_table.get_shadow_weight = shadow_weight;
  fill(state_table.unused_22_to_52, 31);
  /* No texture lookups and no render settings: none of these shaders asks. */
  state_table.lookup_tex1d = NULL;
  state_table.unused_54 = never_called;
  state_table.lookup_tex2d = NULL;
  state_table.unused_56 = never_called;
  state_table.lookup_tex3d = NULL;
  state_table.unused_58 = never_called;
  state_table.lookup_texcube = NULL;
  state_table.unused_60 = never_called;
  state_table.get_render_settings = NULL;
  fill(state_table.unused_62_to_65, 4);
  state_table.release = state_release;
  fill(state_table.unused_67_to_68, 2);
  state_table.get_host_state = state_host_state;
  state_table.get_output_requests = state_output_requests;
}

static void runtime_release(kvx_runtime_interface* self) { (void)self; }
static kvx_state* runtime_get_state(kvx_runtime_interface* self, Host_state* state_record) {
  (void)self, (void)state_record;
  return &state;
}
static kvx_runtime_interface_table const runtime_table = {runtime_release, never_called, runtime_get_state};
static kvx_runtime_interface runtime = {&runtime_table};

/* ---- The four functions the plug-in imports (exported: --dynamic-list) */

int zr_query(int code, Host_state* state_record, int zero, ...) {
  va_list arguments;
  va_start(arguments, zero);
  void* answer = va_arg(arguments, void*);
  va_end(arguments);
  if (code == KVX_QUERY_GATHER_FLAG) {
    uint32_t const plain_mode = 0;
    memcpy(answer, &plain_mode, sizeof plain_mode);
  } else if (code == KVX_QUERY_INSTANCE_SLOT) {
    /* The record says which instance is evaluated: the slot is that one's. */
    void** slot = &state_record->instance->slot;
    memcpy(answer, &slot, sizeof slot);
  }
  return 1;
}

void* zr_phen_eval(Host_state* state_record, void* parameter) {
  (void)state_record;
  /* The slot's tag names the connection. */
  uint32_t tag;
  memcpy(&tag, (unsigned char*)parameter + KVX_TAG_OFFSET, sizeof tag);
  size_t const connection = tag - FIRST_CONNECTION;
  if (connection >= sizeof connected_values / sizeof *connected_values) return NULL; /* unset */
  return &connected_values[connection];
}

int zr_shaderstate_set(Host_state* state_record, char const* key, void const* data, int size, int mode) {
  (void)state_record, (void)key, (void)data, (void)size, (void)mode;
  return 1;
}

kvx_runtime_interface* zr_get_korvex_interface(int version) {
  (void)version;
  return &runtime;
}

/* ---- Loading, the lifecycle and one evaluation */

static void* plugin;

/* The function <shader><suffix> into *function, a pointer of its kind
   (POSIX gives function pointers the representation of void*). */
static void find(char const* shader, char const* suffix, void* function) {
  char name[128];
  snprintf(name, sizeof name, "%s%s", shader, suffix);
  void* found = dlsym(plugin, name);
  if (!found) {
    fprintf(stderr, "host: the plug-in exports no %s\n", name);
    exit(1);
  }
  memcpy(function, &found, sizeof found);
}

/* The shader's result for the instance, in plain mode (up to 16 bytes). */
static void evaluate(char const* shader, Instance* instance, float result[4]) {
  kvx_version* version;
  kvx_init* init;
  kvx_exit* exit_;
  kvx_entry* entry;
  find(shader, "_version", &version);
  find(shader, "_init", &init);
  find(shader, "_exit", &exit_);
  find(shader, "", &entry);
  if (version() != KVX_BASE_C_INTERFACE_VERSION) {
    fprintf(stderr, "host: %s has interface version %d\n", shader, version());
    exit(1);
  }
  record.instance = instance;
  int32_t instance_inits = 0;
  init(&record, NULL, &instance_inits); /* the shader */
  if (instance_inits) init(&record, instance->parameters, &instance_inits);
  memset(result, 0, 4 * sizeof *result);
  entry(result, &record, instance->parameters);
  if (instance_inits) exit_(&record, instance->parameters);
  exit_(&record, NULL);
}

static void print(char const* shader, float const* value, int components) {
  printf("%s ", shader);
  if (components > 1) printf("(");
  for (int i = 0; i < components; ++i) printf("%s%.9g", i ? ", " : "", value[i]);
  printf("%s  [", components > 1 ? ")" : "");
  for (int i = 0; i < components; ++i) {
    uint32_t bits;
    memcpy(&bits, &value[i], sizeof bits);
    printf("%s0x%08x", i ? " " : "", bits);
  }
  printf("]\n");
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: host PLUG-IN (pkg-config --variable=plugin kvx_base)\n");
    return 2;
  }
  plugin = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (!plugin) {
    fprintf(stderr, "host: %s\n", dlerror());
    return 1;
  }
  make_state_table();
  settings.tag_offset = KVX_TAG_OFFSET;
  settings.integer_tags = 1;
  record.fields.eval_settings = &settings;

  float result[4];
  kvx_Math_float_add_block add_block = {0}; /* two constants */
  add_block.slots.values.left = 1.5f;
  add_block.slots.values.right = 2.25f;
  add_block.tags.left = KVX_TAG_CONSTANT;
  add_block.tags.right = KVX_TAG_CONSTANT;
  Instance add = {&add_block.slots, NULL};
  evaluate("Math_float_add", &add, result);
  print("Math_float_add", result, 1);

  kvx_Math_float_sin_block sine_block = {0}; /* its input connected */
  sine_block.tags.input = FIRST_CONNECTION;
  Instance sine = {&sine_block.slots, NULL};
  evaluate("Math_float_sin", &sine, result);
  print("Math_float_sin", result, 1);

  /* State_parametric_uv has no parameters, but an instance's calls still
     hand a block: a null one means the shader-level init and exit. */
  unsigned char no_parameters[4] = {0};
  Instance uv = {no_parameters, NULL};
  evaluate("State_parametric_uv", &uv, result);
  print("State_parametric_uv", result, 2);

  if (released_states != 3) {
    fprintf(stderr, "host: %d States released, not 3\n", released_states);
    return 1;
  }
  dlclose(plugin);
  return 0;
}
