// SPDX-License-Identifier: Apache-2.0
// The demo scene: three spheres on a checkered plane under a sky, seen by a
// pinhole camera, lit by one point light. The host traces the rays; every
// surface color comes from a network of the library's shaders, written in the
// network format (scene.kvx, built into kvx-host) and read at start.
#pragma once

#include <host/reference_host.h>
#include <network/network.h>
#include <network/network_text.h>

namespace kvx::commands {

struct Vec3 {
  float x, y, z;
};

// What the host found along a camera ray.
struct Hit {
  enum Surface { sky, floor, matte, mirror, glass } surface = sky;
  float distance = 0;
  Vec3 position{}, normal{};
  float u = 0, v = 0;
};

class Scene {
 public:
  explicit Scene(host::Library const& library);

  Vec3 eye() const { return eye_; }
  // The unit direction through pixel (x, y) of a width x height image.
  Vec3 camera_ray(unsigned x, unsigned y, unsigned width, unsigned height) const;
  Hit trace(Vec3 origin, Vec3 direction) const;

  // The shading network and the node whose result colors each surface.
  network::Network const& network() const { return network_; }
  network::Network::Node root(Hit::Surface surface) const { return roots_[surface]; }
  // The network's text, as scene.kvx has it, and an instance's name there.
  static std::string_view text();
  std::string instance_name(network::Network::Node node) const;

  // Puts the hit into the host's state, where the State_ shaders read it, and
  // installs the host-side textures the network samples.
  static void set_state(host::Reference_host& host, Vec3 origin, Vec3 direction, Hit const& hit);
  static void install_textures(host::Reference_host& host);

 private:
  Vec3 eye_{0.0f, 1.25f, 4.4f};
  network::Network_text text_;
  network::Network const& network_;
  network::Network::Node roots_[5]{};
};

}  // namespace kvx::commands
