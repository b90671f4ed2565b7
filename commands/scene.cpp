// SPDX-License-Identifier: Apache-2.0
#include "scene.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <editor/page.h>

namespace kvx::commands {

namespace {

// Scene Vector Helpers
Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator*(float s, Vec3 a) { return {s * a.x, s * a.y, s * a.z}; }
float dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
Vec3 normalized(Vec3 a) { return (1.0f / std::sqrt(dot(a, a))) * a; }

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

network::Network const& read_network(network::Network_text& text) {
  text.read(Scene::text(), "scene.kvx");
  return text.finish({"scene.kvx"}).network;
}

}  // namespace

std::span<editor::Page_file const> scene_files();

std::string_view Scene::text() { return scene_files().front().body; }

std::string Scene::instance_name(network::Network::Node node) const { return text_.name_of(node); }

// The surfaces are the instances named after them.
Scene::Scene(host::Library const& library) : text_(library), network_(read_network(text_)) {
  constexpr std::string_view names[] = {"sky", "floor", "matte", "mirror", "glass"};
  static_assert(std::size(names) == Hit::glass + 1);
  for (int surface = Hit::sky; surface <= Hit::glass; ++surface) roots_[surface] = *text_.node(names[surface]);
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
