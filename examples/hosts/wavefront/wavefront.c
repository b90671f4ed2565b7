/* SPDX-License-Identifier: Apache-2.0 */
/* A wavefront host written in C for the kvx base shaders: it shades a
   network over a million points the way a renderer that shades in waves
   does, each shader of the network once over a wave of points, through the
   batch library's functions (<kvx_base/batch.h>). The network is
   examples/rings.kvx, laid out by hand below in the order its instances run:

     radius = distance(uv, (0.5, 0.5))          band = smoothstep(-0.25, 0.25, sin(40 radius))
     fade   = 1 - smoothstep(0.15, 0.5, radius) picture = saturate(lerp(dark, light, band fade))

   Each point is bit for bit what `kvx-host shade examples/rings.kvx -g 1024
   1024` gives there, through the C entries or the batches alike. It writes
   the picture's floats (RGBA, rows top to bottom) to the file it is given,
   and prints how fast it went.

   Built with pkg-config against the installed package:

     cc -std=c11 -O2 $(pkg-config --cflags kvx_base_batch) wavefront.c $(pkg-config --libs kvx_base_batch) -o wavefront
     ./wavefront rings.raw

   No host functions, no plug-in: the batch library needs none. */
#define _POSIX_C_SOURCE 199309L
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <kvx_base/batch.h>

enum { SIDE = 1024, POINTS = SIDE * SIDE, WAVE = 1 << 16 };

/* Runs a shader over `count` points, or stops the program. */
static void run(char const* shader, size_t count, kvx_batch_values const* parameters, void* results,
                size_t result_width) {
  kvx_batch_function* const function = kvx_batch_find(shader);
  kvx_batch_results const out = {results, (ptrdiff_t)result_width};
  if (!function || function(NULL, count, parameters, out) != KVX_BATCH_DONE) {
    fprintf(stderr, "wavefront: %s refused its values\n", shader);
    exit(1);
  }
}

/* An array of values, point after point, and one value for every point. */
static kvx_batch_values array(void const* data, size_t width) { return (kvx_batch_values){data, (ptrdiff_t)width}; }
static kvx_batch_values one(void const* value) { return (kvx_batch_values){value, 0}; }

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: wavefront OUTPUT.raw\n");
    return 2;
  }
  if (kvx_batch_version() != KVX_BATCH_VERSION) {
    fprintf(stderr, "wavefront: batch interface %d, built for %d\n", kvx_batch_version(), KVX_BATCH_VERSION);
    return 1;
  }
  /* A wave's values, one array a result. */
  static float uv[2 * WAVE], radius[WAVE], scaled[WAVE], wave[WAVE], band[WAVE], edge[WAVE], fade[WAVE],
      level[WAVE], location[4 * WAVE], tinted[4 * WAVE];
  float* picture = malloc(sizeof(float) * 4 * POINTS);
  if (!picture) return 1;

  float const centre[2] = {0.5f, 0.5f}, forty = 40.0f, one_f = 1.0f;
  float const band_start = -0.25f, band_end = 0.25f, edge_start = 0.15f, edge_end = 0.5f;
  float const dark[4] = {0.08f, 0.1f, 0.2f, 1.0f}, light[4] = {1.0f, 0.85f, 0.45f, 1.0f};

  struct timespec started, ended;
  clock_gettime(CLOCK_MONOTONIC, &started);
  for (size_t first = 0; first < POINTS; first += WAVE) {
    /* The grid's points: pixel (x, y) at u = (x + 0.5) / 1024, v = (1024 - y - 0.5) / 1024. */
    for (size_t i = 0; i < WAVE; ++i) {
      size_t const point = first + i, x = point % SIDE, y = point / SIDE;
      uv[2 * i] = ((float)x + 0.5f) / (float)SIDE;
      uv[2 * i + 1] = ((float)(SIDE - y) - 0.5f) / (float)SIDE;
    }
    kvx_batch_values const distance[] = {array(uv, 8), one(centre)};
    run("Math_float2_distance", WAVE, distance, radius, 4);
    kvx_batch_values const scale[] = {array(radius, 4), one(&forty)};
    run("Math_float_multiply", WAVE, scale, scaled, 4);
    kvx_batch_values const sine[] = {array(scaled, 4)};
    run("Math_float_sin", WAVE, sine, wave, 4);
    kvx_batch_values const banded[] = {one(&band_start), one(&band_end), array(wave, 4)};
    run("Math_float_smoothstep", WAVE, banded, band, 4);
    kvx_batch_values const edged[] = {one(&edge_start), one(&edge_end), array(radius, 4)};
    run("Math_float_smoothstep", WAVE, edged, edge, 4);
    kvx_batch_values const faded[] = {one(&one_f), array(edge, 4)};
    run("Math_float_subtract", WAVE, faded, fade, 4);
    kvx_batch_values const levelled[] = {array(band, 4), array(fade, 4)};
    run("Math_float_multiply", WAVE, levelled, level, 4);
    /* The float repeated into every component, as a splat does. */
    for (size_t i = 0; i < WAVE; ++i)
      location[4 * i] = location[4 * i + 1] = location[4 * i + 2] = location[4 * i + 3] = level[i];
    kvx_batch_values const lerped[] = {one(dark), one(light), array(location, 16)};
    run("Math_color_lerp", WAVE, lerped, tinted, 16);
    kvx_batch_values const saturated[] = {array(tinted, 16)};
    run("Math_color_saturate", WAVE, saturated, picture + 4 * first, 16);
  }
  clock_gettime(CLOCK_MONOTONIC, &ended);
  double const seconds = (double)(ended.tv_sec - started.tv_sec) + 1e-9 * (double)(ended.tv_nsec - started.tv_nsec);

  FILE* out = fopen(argv[1], "wb");
  if (!out || fwrite(picture, sizeof(float) * 4, POINTS, out) != POINTS || fclose(out) != 0) {
    fprintf(stderr, "wavefront: cannot write %s\n", argv[1]);
    return 1;
  }
  uint32_t centre_bits[4];
  memcpy(centre_bits, picture + 4 * (512 * SIDE + 512), sizeof centre_bits);
  printf("shaded %d points on %s in %.4f s: %.3g points/s\n", POINTS, kvx_batch_target(), seconds,
         POINTS / seconds);
  printf("point (512, 512): (%.9g, %.9g, %.9g, %.9g) [0x%08x 0x%08x 0x%08x 0x%08x]\n", picture[4 * (512 * SIDE + 512)],
         picture[4 * (512 * SIDE + 512) + 1], picture[4 * (512 * SIDE + 512) + 2], picture[4 * (512 * SIDE + 512) + 3],
         centre_bits[0], centre_bits[1], centre_bits[2], centre_bits[3]);
  free(picture);
  return 0;
}
