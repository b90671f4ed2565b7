// SPDX-License-Identifier: Apache-2.0
// A batch call of any shader, written once: the host's arrays (strided, one
// value for every point, or the declared default) taken a run of points at a
// time into packed values on the stack, the run computed by the instruction
// set's kernel or point by point by the one compiled copy, the results put
// where the host wants them.
//
// Nothing is allocated: every run's values lie on the stack.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

#include <bridge/interface/batch.h>
#include <catalogue/catalogue.h>
#include <shaders/batch/run.h>
#include <shaders/compute.h>

namespace kvx::bridge::batch {

using shaders::batch::Kernel;
using shaders::batch::Run;

// Points a run holds: its values, 16 bytes a point at most, stay in the
// first-level cache with room to spare.
inline constexpr std::size_t run_points = 256;

// The kernels of the instruction set in use (targets.cpp).
shaders::batch::Kernel_table const& kernels();

// Point i's value of parameter k of a run.
template <catalogue::Type T>
[[gnu::always_inline]] inline catalogue::Value<T> value_at(Run const& run, unsigned k, std::size_t i) {
  catalogue::Value<T> value;
  std::memcpy(&value, static_cast<unsigned char const*>(run.inputs[k]) + (run.held[k] ? 0 : i * sizeof value),
              sizeof value);
  return value;
}

// Point i of a math shader by its one compiled copy, written in place.
template <unsigned Index, class Operation>
void compute_point(Run const& run, std::size_t i) {
  auto const value = [&]<std::size_t... K>(std::index_sequence<K...>) {
    return shaders::compute<Index, Operation>(
        nullptr, value_at<catalogue::shaders[Index].parameter_list[K].type>(run, K, i)...);
  }(std::make_index_sequence<catalogue::shaders[Index].parameter_count>{});
  std::memcpy(static_cast<unsigned char*>(run.out) + i * sizeof value, &value, sizeof value);
}

// `count` copies of a value of `width` bytes, the copies doubling at each step.
inline void fill(unsigned char* to, unsigned char const* value, unsigned width, std::size_t count) {
  std::memcpy(to, value, width);
  for (std::size_t done = 1; done < count;) {
    std::size_t const more = done < count - done ? done : count - done;
    std::memcpy(to + done * width, to, more * width);
    done += more;
  }
}

// Where a parameter's values come from, and the room for a run of them when
// they are not packed in the host's array.
struct Parameter_source {
  unsigned char const* data;
  std::ptrdiff_t stride;
  unsigned width;
  bool held;  // one value for every point: its run is filled once
};

inline bool overlaps(unsigned char const* a, std::ptrdiff_t a_stride, unsigned char const* b, std::ptrdiff_t b_stride,
                     std::size_t count, unsigned width) {
  auto span_of = [&](unsigned char const* at, std::ptrdiff_t stride, std::uintptr_t& low, std::uintptr_t& high) {
    auto const first = reinterpret_cast<std::uintptr_t>(at);
    auto const last = first + static_cast<std::uintptr_t>(static_cast<std::ptrdiff_t>(count - 1) * stride);
    low = first < last ? first : last;
    high = (first < last ? last : first) + width;
  };
  std::uintptr_t a_low, a_high, b_low, b_high;
  span_of(a, a_stride, a_low, a_high);
  span_of(b, b_stride, b_low, b_high);
  return a_low < b_high && b_low < a_high;
}

inline bool aligned(void const* at) { return reinterpret_cast<std::uintptr_t>(at) % alignof(float) == 0; }

// Runs `compute(run)` over every run of `count` points: a math shader's
// kernel or its points, a texture lookup, a state read-out.
template <unsigned Index, class Compute>
kvx_batch_status drive(std::size_t count, kvx_batch_values const* parameters, kvx_batch_results result,
                       Compute const& compute, bool packed_only = false) {
  constexpr catalogue::Shader const& row = catalogue::shaders[Index];
  constexpr unsigned result_width = catalogue::width(row.result);
  constexpr unsigned inputs = row.parameter_count;
  if (count == 0) return KVX_BATCH_DONE;
  if (!result.data) return KVX_BATCH_NO_ARRAY;

  alignas(64) unsigned char held[inputs ? inputs : 1][run_points * 16];
  alignas(64) unsigned char results[run_points * 16];
  Parameter_source sources[inputs ? inputs : 1];
  auto* const out = static_cast<unsigned char*>(result.data);
  // The host's lookup is handed typed arrays: its own are passed on only
  // where they are aligned for their type.
  bool out_packed = result.stride == result_width && (!packed_only || aligned(out));
  std::size_t const longest = count < run_points ? count : run_points;
  for (unsigned k = 0; k < inputs; ++k) {
    catalogue::Parameter const& p = row.parameter_list[k];
    unsigned const width = catalogue::width(p.type);
    kvx_batch_values const given = parameters ? parameters[k] : kvx_batch_values{nullptr, 0};
    auto const* data = static_cast<unsigned char const*>(given.data);
    bool const one_value = !data || given.stride == 0;
    sources[k] = {data ? data : p.default_value.data(), one_value ? 0 : given.stride, width, one_value};
    if (one_value && packed_only) fill(held[k], sources[k].data, width, longest);
    // Results over a parameter's values would be read again after they are
    // written: such a result goes by way of the stack.
    else if (overlaps(out, result.stride, data, given.stride, count, result_width > width ? result_width : width))
      out_packed = false;
  }

  for (std::size_t first = 0; first < count; first += run_points) {
    std::size_t const n = count - first < run_points ? count - first : run_points;
    Run run{n, {}, {}, out_packed ? out + first * result_width : results, nullptr};
    for (unsigned k = 0; k < inputs; ++k) {
      Parameter_source const& source = sources[k];
      if (source.held) {
        run.inputs[k] = packed_only ? held[k] : source.data;
        run.held[k] = !packed_only;
      } else if (source.stride == source.width && (!packed_only || aligned(source.data))) {
        run.inputs[k] = source.data + static_cast<std::ptrdiff_t>(first) * source.stride;
      } else {
        for (std::size_t i = 0; i < n; ++i)
          std::memcpy(held[k] + i * source.width,
                      source.data + static_cast<std::ptrdiff_t>(first + i) * source.stride, source.width);
        run.inputs[k] = held[k];
      }
    }
    compute(run);
    if (!out_packed)
      for (std::size_t i = 0; i < n; ++i)
        std::memcpy(out + static_cast<std::ptrdiff_t>(first + i) * result.stride, results + i * result_width,
                    result_width);
  }
  return KVX_BATCH_DONE;
}

// A texture lookup: the host's, a run at a time, its colors the results.
template <unsigned Index>
kvx_batch_status run_texture(kvx_batch_host const* host, std::size_t count, kvx_batch_values const* parameters,
                             kvx_batch_results result) {
  constexpr std::string_view operation = catalogue::shaders[Index].operation;
  constexpr kvx_batch_lookup lookup = operation == "tex1d"   ? KVX_BATCH_TEX1D
                                      : operation == "tex2d" ? KVX_BATCH_TEX2D
                                      : operation == "tex3d" ? KVX_BATCH_TEX3D
                                                             : KVX_BATCH_TEXCUBE;
  if (!host || !host->lookup) return count ? KVX_BATCH_NO_LOOKUP : KVX_BATCH_DONE;
  return drive<Index>(
      count, parameters, result,
      [host](Run const& run) {
        host->lookup(host->user, lookup, run.count, static_cast<std::uint32_t const*>(run.inputs[0]),
                     static_cast<float const*>(run.inputs[1]), static_cast<float*>(run.out));
      },
      true);
}

// A state read-out: the host's values of its field, the three bool fields
// read as ints, 1 for any that is not 0.
template <unsigned Index>
kvx_batch_status run_state(std::size_t count, kvx_batch_values const* parameters, kvx_batch_results result) {
  constexpr catalogue::Type type = catalogue::shaders[Index].result;
  constexpr std::size_t width = catalogue::width(type);
  if (count == 0) return KVX_BATCH_DONE;
  if (!result.data || !parameters || !parameters[0].data) return KVX_BATCH_NO_ARRAY;
  auto const* in = static_cast<unsigned char const*>(parameters[0].data);
  auto* out = static_cast<unsigned char*>(result.data);
  if constexpr (type != catalogue::Type::bool_)
    if (parameters[0].stride == width && result.stride == width) {
      std::memmove(out, in, count * width);
      return KVX_BATCH_DONE;
    }
  for (std::size_t i = 0; i < count; ++i) {
    unsigned char const* from = in + static_cast<std::ptrdiff_t>(i) * parameters[0].stride;
    unsigned char* to = out + static_cast<std::ptrdiff_t>(i) * result.stride;
    if constexpr (type == catalogue::Type::bool_) {
      std::int32_t value;
      std::memcpy(&value, from, sizeof value);
      *to = value != 0 ? 1 : 0;
    } else {
      std::memmove(to, from, width);
    }
  }
  return KVX_BATCH_DONE;
}

// A math shader: the instruction set's kernel, else point by point.
template <unsigned Index, class Operation>
kvx_batch_status run_math(std::size_t count, kvx_batch_values const* parameters, kvx_batch_results result) {
  Kernel const kernel = kernels()[Index];
  return drive<Index>(count, parameters, result, [kernel](Run& run) {
    run.point = &compute_point<Index, Operation>;
    if (kernel) {
      kernel(run);
      return;
    }
    for (std::size_t i = 0; i < run.count; ++i) compute_point<Index, Operation>(run, i);
  });
}

}  // namespace kvx::bridge::batch
