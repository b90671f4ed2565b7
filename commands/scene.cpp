// SPDX-License-Identifier: Apache-2.0
#include "scene.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kvx::commands {

namespace {

using Node = network::Network::Node;

// Scene Vector Helpers
Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator*(float s, Vec3 a) { return {s * a.x, s * a.y, s * a.z}; }
float dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
Vec3 normalized(Vec3 a) { return (1.0f / std::sqrt(dot(a, a))) * a; }

catalogue::Value_bytes floats(std::initializer_list<float> values) {
  catalogue::Value_bytes b{};
  std::copy(values.begin(), values.end(), reinterpret_cast<float*>(b.data()));
  return b;
}
catalogue::Value_bytes handle(std::uint32_t h) {
  catalogue::Value_bytes b{};
  std::memcpy(b.data(), &h, 4);
  return b;
}

struct Sphere {
  Vec3 center;
  float radius;
  Hit::Surface surface;
};
constexpr Sphere spheres[] = {
    {{-1.15f, 0.62f, -0.1f}, 0.62f, Hit::matte},
    {{0.25f, 0.55f, -0.7f}, 0.55f, Hit::mirror},
    {{1.25f, 0.42f, 0.55f}, 0.42f, Hit::glass},
};

constexpr std::uint32_t checker_texture = 1;
constexpr std::uint32_t sky_texture = 2;
constexpr Vec3 light_position{2.5f, 4.0f, 3.0f};

// State ids the State_ shaders read (the host's numbering).

ZR::SHADER::Color sky_color(Vec3 d) {
  d = normalized(d);
  float const up = std::clamp(d.y, -1.0f, 1.0f);
  float const t = 0.5f * (up + 1.0f);
  Vec3 const horizon{0.92f, 0.88f, 0.82f}, zenith{0.25f, 0.45f, 0.85f}, ground{0.30f, 0.27f, 0.24f};
  Vec3 c = up >= 0 ? (1.0f - t) * horizon + t * zenith : ground;
  float const sun = std::pow(std::max(0.0f, dot(d, normalized(light_position))), 200.0f);
  c = c + (4.0f * sun) * Vec3{1.0f, 0.9f, 0.7f};
  return {c.x, c.y, c.z, 1.0f};
}

ZR::SHADER::Color checker_color(float const* uv) {
  float const s = std::floor(uv[0] * 2.0f) + std::floor(uv[1] * 2.0f);
  bool const dark = std::isfinite(s) && std::fmod(std::fabs(s), 2.0f) == 1.0f;
  return dark ? ZR::SHADER::Color{0.18f, 0.2f, 0.24f, 1} : ZR::SHADER::Color{0.85f, 0.83f, 0.78f, 1};
}

}  // namespace

Scene::Scene(host::Library const& library) : network_(library) {
  auto& n = network_;
  auto node = [&](char const* shader) { return n.add(shader); };
  auto link = [&](Node to, char const* parameter, Node from, bool splat = false) {
    n.connect(to, parameter, from, splat);
  };

  // What every lit surface shares: normal, light direction, diffuse and specular terms.
  Node const state_normal = node("State_normal");
  Node const state_position = node("State_position");
  Node const state_direction = node("State_direction");
  Node const normal = node("Math_float3_normalize");
  link(normal, "input", state_normal);
  Node const to_light = node("Math_float3_subtract");
  n.set(to_light, "left", floats({light_position.x, light_position.y, light_position.z}));
  link(to_light, "right", state_position);
  Node const light = node("Math_float3_normalize");
  link(light, "input", to_light);
  Node const n_dot_l = node("Math_float3_dot");
  link(n_dot_l, "left", normal);
  link(n_dot_l, "right", light);
  Node const facing = node("Math_float_greater_than");
  link(facing, "left", n_dot_l);
  Node const diffuse = node("Math_float_saturate");
  link(diffuse, "input", n_dot_l);
  Node const lit = node("Math_float_conditional");
  link(lit, "condition", facing);
  link(lit, "true_value", diffuse);
  n.set(lit, "false_value", floats({0.0f}));
  Node const lighting = node("Math_float_add");
  link(lighting, "left", lit);
  n.set(lighting, "right", floats({0.16f}));  // ambient
  Node const reflected = node("Math_reflect");
  link(reflected, "i", state_direction);
  link(reflected, "n", normal);
  Node const r_dot_l = node("Math_float3_dot");
  link(r_dot_l, "left", reflected);
  link(r_dot_l, "right", light);
  Node const highlight = node("Math_float_saturate");
  link(highlight, "input", r_dot_l);
  Node const specular = node("Math_float_pow");
  link(specular, "base", highlight);
  n.set(specular, "exponent", floats({48.0f}));
  Node const environment = node("Math_color_texcube");
  n.set(environment, "texture", handle(sky_texture));
  link(environment, "coordinate", reflected);

  // The floor: a checker texture, lit, with a touch of reflection.
  Node const uv = node("State_parametric_uv");
  Node const checker = node("Math_color_tex2d");
  n.set(checker, "texture", handle(checker_texture));
  link(checker, "coordinate", uv);
  Node const floor_lit = node("Math_color_multiply");
  link(floor_lit, "left", checker);
  link(floor_lit, "right", lighting, true);
  Node const floor_mix = node("Math_color_lerp");
  link(floor_mix, "start", floor_lit);
  link(floor_mix, "end", environment);
  n.set(floor_mix, "location", floats({0.1f, 0.1f, 0.1f, 0.1f}));
  roots_[Hit::floor] = node("Math_color_saturate");
  link(roots_[Hit::floor], "input", floor_mix);

  // The matte sphere: a warm gradient up its height, lit, with a highlight.
  Node const height = node("Math_float3_dot");
  link(height, "left", state_position);
  n.set(height, "right", floats({0, 1, 0}));
  Node const blend = node("Math_float_smoothstep");
  n.set(blend, "start", floats({0.05f}));
  n.set(blend, "end", floats({1.2f}));
  link(blend, "location", height);
  Node const albedo = node("Math_color_lerp");
  n.set(albedo, "start", floats({0.75f, 0.18f, 0.08f, 1}));
  n.set(albedo, "end", floats({0.98f, 0.78f, 0.22f, 1}));
  link(albedo, "location", blend, true);
  Node const matte_lit = node("Math_color_multiply");
  link(matte_lit, "left", albedo);
  link(matte_lit, "right", lighting, true);
  Node const matte_shine = node("Math_color_add");
  link(matte_shine, "left", matte_lit);
  link(matte_shine, "right", specular, true);
  roots_[Hit::matte] = node("Math_color_saturate");
  link(roots_[Hit::matte], "input", matte_shine);

  // The mirror: the environment in the reflected direction, slightly tinted.
  Node const mirror_tint = node("Math_color_multiply");
  link(mirror_tint, "left", environment);
  n.set(mirror_tint, "right", floats({0.8f, 0.86f, 0.95f, 1}));
  roots_[Hit::mirror] = node("Math_color_add");
  link(roots_[Hit::mirror], "left", mirror_tint);
  link(roots_[Hit::mirror], "right", specular, true);

  // The glass: refraction and reflection blended by a Schlick-style Fresnel term.
  Node const refracted = node("Math_refract");
  link(refracted, "i", state_direction);
  link(refracted, "n", normal);
  n.set(refracted, "eta", floats({0.67f}));
  Node const through = node("Math_color_texcube");
  n.set(through, "texture", handle(sky_texture));
  link(through, "coordinate", refracted);
  Node const v_dot_n = node("Math_float3_dot");
  link(v_dot_n, "left", state_direction);
  link(v_dot_n, "right", normal);
  Node const cosine = node("Math_float_abs");
  link(cosine, "input", v_dot_n);
  Node const grazing = node("Math_float_subtract");
  n.set(grazing, "left", floats({1.0f}));
  link(grazing, "right", cosine);
  Node const schlick = node("Math_float_pow");
  link(schlick, "base", grazing);
  n.set(schlick, "exponent", floats({5.0f}));
  Node const fresnel = node("Math_float_lerp");
  n.set(fresnel, "start", floats({0.04f}));
  n.set(fresnel, "end", floats({1.0f}));
  link(fresnel, "location", schlick);
  Node const glass_mix = node("Math_color_lerp");
  link(glass_mix, "start", through);
  link(glass_mix, "end", environment);
  link(glass_mix, "location", fresnel, true);
  Node const glass_tint = node("Math_color_multiply");
  link(glass_tint, "left", glass_mix);
  n.set(glass_tint, "right", floats({0.88f, 1.0f, 0.94f, 1}));
  roots_[Hit::glass] = node("Math_color_add");
  link(roots_[Hit::glass], "left", glass_tint);
  link(roots_[Hit::glass], "right", specular, true);

  // The sky behind everything.
  roots_[Hit::sky] = node("Math_color_texcube");
  n.set(roots_[Hit::sky], "texture", handle(sky_texture));
  link(roots_[Hit::sky], "coordinate", state_direction);
}

Vec3 Scene::camera_ray(unsigned x, unsigned y, unsigned width, unsigned height) const {
  Vec3 const target{0.0f, 0.45f, 0.0f};
  Vec3 const forward = normalized(target - eye_);
  Vec3 const right = normalized(cross(forward, {0, 1, 0}));
  Vec3 const up = cross(right, forward);
  float const tan_half = std::tan(0.5f * 38.0f * 3.14159265f / 180.0f);
  float const aspect = float(width) / float(height);
  float const sx = (2.0f * (float(x) + 0.5f) / float(width) - 1.0f) * tan_half * aspect;
  float const sy = (1.0f - 2.0f * (float(y) + 0.5f) / float(height)) * tan_half;
  return normalized(forward + sx * right + sy * up);
}

Hit Scene::trace(Vec3 origin, Vec3 direction) const {
  Hit best;
  best.distance = INFINITY;
  for (auto const& s : spheres) {
    Vec3 const oc = origin - s.center;
    float const b = dot(oc, direction);
    float const c = dot(oc, oc) - s.radius * s.radius;
    float const disc = b * b - c;
    if (disc < 0) continue;
    float const t = -b - std::sqrt(disc);
    if (t <= 1e-4f || t >= best.distance) continue;
    best.surface = s.surface;
    best.distance = t;
    best.position = origin + t * direction;
    best.normal = (1.0f / s.radius) * (best.position - s.center);
  }
  if (direction.y < 0) {
    float const t = -origin.y / direction.y;
    if (t > 1e-4f && t < best.distance && t < 60.0f) {
      best.surface = Hit::floor;
      best.distance = t;
      best.position = origin + t * direction;
      best.normal = {0, 1, 0};
      best.u = best.position.x;
      best.v = best.position.z;
    }
  }
  if (best.surface == Hit::sky) best.distance = 0;
  return best;
}

void Scene::set_state(host::Reference_host& host, Vec3 origin, Vec3 direction, Hit const& hit) {
  using catalogue::state_id;
  host.set_float3(state_id("State_origin"), {origin.x, origin.y, origin.z});
  host.set_float3(state_id("State_direction"), {direction.x, direction.y, direction.z});
  host.set_float3(state_id("State_position"), {hit.position.x, hit.position.y, hit.position.z});
  host.set_float3(state_id("State_normal"), {hit.normal.x, hit.normal.y, hit.normal.z});
  host.set_float3(state_id("State_geometry_normal"), {hit.normal.x, hit.normal.y, hit.normal.z});
  host.set_float2(state_id("State_parametric_uv"), {hit.u, hit.v});
  host.set_float(state_id("State_ray_length"), hit.distance);
  host.set_float(state_id("State_dot_nd"), dot(hit.normal, direction));
  host.record().set_normal({hit.normal.x, hit.normal.y, hit.normal.z});
}

void Scene::install_textures(host::Reference_host& host) {
  host.set_texture(checker_texture, [](host::Lookup, float const* uv) { return checker_color(uv); });
  host.set_texture(sky_texture, [](host::Lookup, float const* d) { return sky_color({d[0], d[1], d[2]}); });
}

}  // namespace kvx::commands
