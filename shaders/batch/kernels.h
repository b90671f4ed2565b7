// SPDX-License-Identifier: Apache-2.0
// The vector forms of the operations, for the instruction set of the unit
// that includes this (lanes.h). Each is its scalar definition under
// shaders/math written over lanes: the same IEEE operations in the same
// order, so the same bits wherever no NaN comes out. Which NaN a scalar
// operation passes on depends on how its code was compiled, so a point with
// a NaN anywhere in its vector result is computed again by the shader's one
// compiled copy: every bit is the scalar code's.
//
// Component-wise operations run over a run's components as one flat array;
// the geometry a point to a lane. Of the C library's functions sinf and
// fmodf have vector forms (libm.h); the others are called a component at a
// time.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <type_traits>
#include <utility>

#include <catalogue/catalogue.h>
#include <shaders/batch/lanes.h>
#include <shaders/batch/libm.h>
#include <shaders/batch/run.h>

namespace kvx::shaders::batch::KVX_BATCH_TARGET {

using catalogue::Kind;
using catalogue::Type;

// Single-precision pi, 0x40490FDB, as the scalar operations have it.
inline constexpr float pi = 3.14159265f;

KVX_LANE I lane_index() {
  I index;
  for (unsigned j = 0; j < lanes; ++j) index[j] = static_cast<std::int32_t>(j);
  return index;
}
KVX_LANE I lanes_below(std::size_t count) {
  return lane_index() < static_cast<std::int32_t>(count < lanes ? count : lanes);
}

// Recomputes with the one compiled copy the points of the set lanes of
// `nan`: lane j is component first + j of a flat run of `components` a point.
KVX_LANE void recompute(Run const& run, I nan, std::size_t first, unsigned components) {
  if (!any(nan)) [[likely]] return;
  std::int32_t set[lanes];
  store(set, nan);
  std::size_t done = ~std::size_t{0};
  for (unsigned j = 0; j < lanes; ++j) {
    if (!set[j]) continue;
    std::size_t const point = (first + j) / components;
    if (point != done) run.point(run, point);
    done = point;
  }
}

// The lanes of parameter k from flat component j on: loaded, or for a held
// value its components repeated (components() a point).
template <class V, class Element>
struct Flat_input {
  Element const* data;
  bool held;
  V pattern[3];  // a held value's lanes from component 0, 1 and 2 of it on

  Flat_input(void const* at, bool held_value, unsigned components)
      : data(static_cast<Element const*>(at)), held(held_value) {
    if (!held) return;
    for (unsigned r = 0; r < components && r < 3; ++r) {
      Element lanes_of[lanes];
      for (unsigned j = 0; j < lanes; ++j) lanes_of[j] = read(data, (r + j) % components);
      pattern[r] = load<V>(lanes_of);
    }
  }
  KVX_LANE V at(std::size_t j, unsigned count, unsigned components) const {
    if (held) return pattern[components == 3 ? j % 3 : 0];
    return count == lanes ? load<V>(data + j) : load_part<V>(data + j, count);
  }
};

// out[j] = rule(in0[j], ...) for every component of every point; V is the
// parameters' lanes (F or I), the rule's result is F, I or a mask for truth
// bytes (Truth).
struct Truth {};
template <class V, class Out, unsigned Arity, class Rule>
KVX_LANE void flat(Run const& run, unsigned components, Rule const& rule) {
  using Element = std::conditional_t<std::is_same_v<V, F>, float, std::int32_t>;
  Flat_input<V, Element> const in[3] = {{run.inputs[0], run.held[0], components},
                                         {run.inputs[1], Arity > 1 && run.held[1], components},
                                         {run.inputs[2], Arity > 2 && run.held[2], components}};
  std::size_t const n = run.count * components;
  for (std::size_t j = 0; j < n; j += lanes) {
    unsigned const count = n - j < lanes ? static_cast<unsigned>(n - j) : lanes;
    auto const r = [&] {
      if constexpr (Arity == 1) return rule(in[0].at(j, count, components));
      else if constexpr (Arity == 2) return rule(in[0].at(j, count, components), in[1].at(j, count, components));
      else
        return rule(in[0].at(j, count, components), in[1].at(j, count, components), in[2].at(j, count, components));
    }();
    if constexpr (std::is_same_v<Out, Truth>) {
      std::uint8_t* out = static_cast<std::uint8_t*>(run.out) + j;
      if (count == lanes) store(out, truth_bytes(r));
      else store_part(out, truth_bytes(r), count);
    } else {
      using Result = std::conditional_t<std::is_same_v<Out, F>, float, std::int32_t>;
      Result* out = static_cast<Result*>(run.out) + j;
      if (count == lanes) store(out, r);
      else store_part(out, r, count);
      if constexpr (std::is_same_v<Out, F>) recompute(run, is_nan(r) & lanes_below(count), j, components);
    }
  }
}

// out[j] = function(in0[j], ...) for every component of every point, the
// function called once a component: the C library's, which the scalar
// operation calls too. A NaN the library returns is the scalar operation's
// as it stands (log2 divides it by a number, which keeps it): no point is
// computed again.
template <unsigned Arity, class Function>
KVX_LANE void flat_calls(Run const& run, unsigned components, Function const& function) {
  float const* in[3];
  for (unsigned k = 0; k < 3; ++k) in[k] = static_cast<float const*>(run.inputs[k]);
  auto at = [&](unsigned k, std::size_t j) { return read(in[k], run.held[k] ? j % components : j); };
  float* out = static_cast<float*>(run.out);
  std::size_t const n = run.count * components;
  for (std::size_t j = 0; j < n; ++j) {
    if constexpr (Arity == 1) write(out, j, function(at(0, j)));
    else write(out, j, function(at(0, j), at(1, j)));
  }
}

// A point to a lane: the C components of `count` points from point `first`
// of a packed array, as C vectors of lanes; and back. Whole groups of lanes
// go by shuffles of whole vectors, the last short one a value at a time.

// Lane j of component k is element C j + k of the C vectors v[0..C-1] read
// as one array; a shuffle takes from two vectors at a time.
template <unsigned C, unsigned K, class V, std::size_t... J>
KVX_LANE V gather_component(V const (&v)[C], std::index_sequence<J...>) {
  // From the vectors holding elements C j + k: those of a vector pair at a time.
  constexpr auto source = [](std::size_t j) { return (C * j + K) / lanes; };
  constexpr auto position = [](std::size_t j) { return (C * j + K) % lanes; };
  if constexpr (C == 2)
    return __builtin_shufflevector(v[0], v[1], (source(J) * lanes + position(J))...);
  else if constexpr (C == 4) {
    // Elements of vectors 0 and 1 first, then those of 2 and 3 into the rest.
    V const low = __builtin_shufflevector(v[0], v[1], (source(J) < 2 ? source(J) * lanes + position(J) : 0)...);
    V const high = __builtin_shufflevector(v[2], v[3], (source(J) >= 2 ? (source(J) - 2) * lanes + position(J) : 0)...);
    return __builtin_shufflevector(low, high, (source(J) < 2 ? J : lanes + J)...);
  } else {
    V const low = __builtin_shufflevector(v[0], v[1], (source(J) < 2 ? source(J) * lanes + position(J) : 0)...);
    return __builtin_shufflevector(low, v[2], (source(J) < 2 ? J : lanes + position(J))...);
  }
}

template <unsigned C, class V, class Element, std::size_t... K>
KVX_LANE void deinterleave(Element const* from, V (&planes)[C], std::index_sequence<K...>) {
  V v[C];
  for (unsigned c = 0; c < C; ++c) v[c] = load<V>(from + c * lanes);
  ((planes[K] = gather_component<C, K>(v, std::make_index_sequence<lanes>{})), ...);
}

template <unsigned C, class V, class Element>
KVX_LANE void load_points(Element const* from, bool held, std::size_t first, unsigned count, V (&planes)[C]) {
  if (held) {
    for (unsigned k = 0; k < C; ++k) planes[k] = every_lane<V>(read(from, k));
    return;
  }
  if constexpr (C > 1 && C <= 4) {
    if (count == lanes) return deinterleave<C>(from + first * C, planes, std::make_index_sequence<C>{});
  } else if constexpr (C == 1) {
    if (count == lanes) {
      planes[0] = load<V>(from + first);
      return;
    }
  }
  Element part[C][lanes] = {};
  for (unsigned j = 0; j < count; ++j)
    for (unsigned k = 0; k < C; ++k) part[k][j] = read(from, (first + j) * C + k);
  for (unsigned k = 0; k < C; ++k) planes[k] = load<V>(part[k]);
}
template <unsigned C, class V, class Element>
KVX_LANE void store_points(Element* to, std::size_t first, unsigned count, V const (&planes)[C]) {
  if constexpr (C == 1) return store_part(to + first, planes[0], count);
  Element part[C][lanes];
  for (unsigned k = 0; k < C; ++k) store(part[k], planes[k]);
  for (unsigned j = 0; j < count; ++j)
    for (unsigned k = 0; k < C; ++k) write(to, (first + j) * C + k, part[k][j]);
}

// The C components of parameter k's points as float lanes, ints converted.
template <unsigned C, Kind K>
KVX_LANE void float_points(Run const& run, unsigned k, std::size_t first, unsigned count, F (&planes)[C]) {
  if constexpr (K == Kind::integer) {
    I ints[C];
    load_points<C>(static_cast<std::int32_t const*>(run.inputs[k]), run.held[k], first, count, ints);
    for (unsigned c = 0; c < C; ++c) planes[c] = to_float(ints[c]);
  } else {
    load_points<C>(static_cast<float const*>(run.inputs[k]), run.held[k], first, count, planes);
  }
}

// For each group of lanes of points: body(first, count) stores the results
// and answers a mask of the lanes whose results hold a NaN.
template <class Body>
KVX_LANE void by_points(Run const& run, Body const& body) {
  for (std::size_t first = 0; first < run.count; first += lanes) {
    unsigned const count = run.count - first < lanes ? static_cast<unsigned>(run.count - first) : lanes;
    I const nan = body(first, count) & lanes_below(count);
    recompute(run, nan, first, 1);
  }
}

// Scalar Inline Forms

// The sum from +0.0 of the products, in component order.
template <unsigned C>
KVX_LANE F dot_sum(F const (&a)[C], F const (&b)[C]) {
  F sum = splat(+0.0f);
  for (unsigned c = 0; c < C; ++c) sum = sum + a[c] * b[c];
  return sum;
}

KVX_LANE I is_finite(F x) { return (as_bits(x) & 0x7f800000u) != 0x7f800000u; }

// fast_pow2, lane by lane (math/fast_pow2.h).
KVX_LANE F fast_pow2(F x) {
  F f = x - to_float(truncate(x));
  f = f + select(f < 0.0f, splat(1.0f), splat(0.0f));
  F const a = x + 127.0f;
  F const c = (f - f * f) * 0.33971f;
  F const y = (a - c) * 8388608.0f;
  return as_float(truncate(y));
}

// frac through modff's fraction: x - trunc(x), a zero and a whole number's
// fraction taking x's sign; 1 added below zero.
KVX_LANE F frac(F x) {
  F f = select(clear_sign(x) < whole_from, copy_sign(x - trunc(x), x), copy_sign(splat(0.0f), x));
  f = select(is_nan(x), x, f);
  return select(x >= 0.0f, f, f + 1.0f);
}

KVX_LANE U bits_of(I x) { return reinterpret_cast<U>(x); }
KVX_LANE I wrapped(U x) { return reinterpret_cast<I>(x); }

// Kernels

template <unsigned Index>
struct Kernel_of {
  static constexpr catalogue::Shader const& row = catalogue::shaders[Index];
  static constexpr std::string_view op = row.operation;
  static constexpr Type T = row.type;
  static constexpr Kind K = kind(T);
  static constexpr unsigned C = components(T);
  static constexpr bool real = K == Kind::real && row.source == catalogue::Source::none;
  static constexpr bool integer = K == Kind::integer;

  static constexpr bool any_of(std::initializer_list<std::string_view> names) {
    for (auto name : names)
      if (op == name) return true;
    return false;
  }
  static constexpr bool float_flat =
      real && any_of({"add", "subtract", "multiply", "divide", "abs", "clamp", "max", "min", "sign", "saturate", "step",
                      "smoothstep", "lerp", "degrees", "radians", "sqrt", "rsqrt", "floor", "ceil", "round", "frac",
                      "exp2", "ddx", "ddy"});
  static constexpr bool float_scalar_geometry = T == Type::float_ && any_of({"dot", "length", "distance"});
  static constexpr bool int_flat = integer && any_of({"add", "subtract", "multiply", "abs", "clamp", "max", "min", "sign"});
  static constexpr bool comparison =
      (real || integer) &&
      any_of({"equal", "not_equal", "less_than", "greater_than", "less_than_or_equal", "greater_than_or_equal"});
  static constexpr bool geometry =
      ((real && C > 1) || (integer && op == "dot")) &&
      any_of({"dot", "length", "distance", "normalize", "faceforward", "cross", "reflect", "refract"});
  static constexpr bool library_call =
      real && any_of({"sin", "cos", "tan", "asin", "acos", "atan", "exp", "log", "log2", "log10", "atan2", "pow", "fmod"});
  static constexpr bool exists = float_flat || float_scalar_geometry || int_flat || comparison || geometry || library_call;

  static void run(Run const& run);
};

template <unsigned Index>
void Kernel_of<Index>::run(Run const& run) {
  if constexpr (float_flat || float_scalar_geometry) {
    if constexpr (op == "add") flat<F, F, 2>(run, C, [](F l, F r) { return l + r; });
    else if constexpr (op == "subtract") flat<F, F, 2>(run, C, [](F l, F r) { return l - r; });
    else if constexpr (op == "multiply" || op == "dot") flat<F, F, 2>(run, C, [](F l, F r) { return l * r; });
    else if constexpr (op == "divide") flat<F, F, 2>(run, C, [](F l, F r) { return l / r; });
    else if constexpr (op == "abs" || op == "length") flat<F, F, 1>(run, C, [](F x) { return clear_sign(x); });
    else if constexpr (op == "distance") flat<F, F, 2>(run, C, [](F l, F r) { return clear_sign(l - r); });
    else if constexpr (op == "clamp")
      flat<F, F, 3>(run, C, [](F in, F lo, F hi) { return select(lo > in, lo, select(in > hi, hi, in)); });
    else if constexpr (op == "max") flat<F, F, 2>(run, C, [](F l, F r) { return select(r > l, r, l); });
    else if constexpr (op == "min") flat<F, F, 2>(run, C, [](F l, F r) { return select(l > r, r, l); });
    else if constexpr (op == "sign")
      flat<F, F, 1>(run, C, [](F x) {
        return select(0.0f > x, splat(-1.0f), select(0.0f < x, splat(1.0f), splat(0.0f)));
      });
    else if constexpr (op == "saturate")
      flat<F, F, 1>(run, C, [](F x) { return select(x < 0.0f, splat(0.0f), select(x > 1.0f, splat(1.0f), x)); });
    else if constexpr (op == "step")
      flat<F, F, 2>(run, C, [](F threshold, F location) {
        return select(location < threshold, splat(0.0f), splat(1.0f));
      });
    else if constexpr (op == "smoothstep")
      flat<F, F, 3>(run, C, [](F start, F end, F location) {
        F const t = (location - start) / (end - start);
        F const hermite = (t * t) * (t * -2.0f + 3.0f);
        return select(start > location, splat(0.0f), select(location > end, splat(1.0f), hermite));
      });
    else if constexpr (op == "lerp")
      flat<F, F, 3>(run, C, [](F start, F end, F location) { return ((1.0f - location) * start) + (location * end); });
    else if constexpr (op == "degrees") flat<F, F, 1>(run, C, [](F x) { return (x / pi) * 180.0f; });
    else if constexpr (op == "radians") flat<F, F, 1>(run, C, [](F x) { return (x / 180.0f) * pi; });
    else if constexpr (op == "sqrt") flat<F, F, 1>(run, C, [](F x) { return sqrt(x); });
    else if constexpr (op == "rsqrt") flat<F, F, 1>(run, C, [](F x) { return 1.0f / sqrt(x); });
    else if constexpr (op == "floor") flat<F, F, 1>(run, C, [](F x) { return floor(x); });
    else if constexpr (op == "ceil") flat<F, F, 1>(run, C, [](F x) { return ceil(x); });
    else if constexpr (op == "round") flat<F, F, 1>(run, C, [](F x) { return floor(x + 0.5f); });
    else if constexpr (op == "frac") flat<F, F, 1>(run, C, [](F x) { return frac(x); });
    else if constexpr (op == "exp2") flat<F, F, 1>(run, C, [](F x) { return fast_pow2(x); });
    else if constexpr (op == "ddx" || op == "ddy") flat<F, F, 1>(run, C, [](F x) { return x; });
  } else if constexpr (library_call) {
    if constexpr (op == "sin") {
      if constexpr (has_libm_lanes)
        if (sin_holds()) return flat<F, F, 1>(run, C, [](F x) { return sin(x); });
      flat_calls<1>(run, C, [](float x) { return ::sinf(x); });
    } else if constexpr (op == "fmod") flat<F, F, 2>(run, C, [](F l, F r) { return fmod(l, r); });
    else if constexpr (op == "cos") flat_calls<1>(run, C, [](float x) { return ::cosf(x); });
    else if constexpr (op == "tan") flat_calls<1>(run, C, [](float x) { return ::tanf(x); });
    else if constexpr (op == "asin") flat_calls<1>(run, C, [](float x) { return ::asinf(x); });
    else if constexpr (op == "acos") flat_calls<1>(run, C, [](float x) { return ::acosf(x); });
    else if constexpr (op == "atan") flat_calls<1>(run, C, [](float x) { return ::atanf(x); });
    else if constexpr (op == "exp") flat_calls<1>(run, C, [](float x) { return ::expf(x); });
    else if constexpr (op == "log") flat_calls<1>(run, C, [](float x) { return ::logf(x); });
    else if constexpr (op == "log10") flat_calls<1>(run, C, [](float x) { return ::log10f(x); });
    else if constexpr (op == "log2") flat_calls<1>(run, C, [](float x) { return ::logf(x) / ::logf(2.0f); });
    else if constexpr (op == "atan2") flat_calls<2>(run, C, [](float y, float x) { return ::atan2f(y, x); });
    else if constexpr (op == "pow") flat_calls<2>(run, C, [](float b, float e) { return ::powf(b, e); });
  } else if constexpr (int_flat) {
    if constexpr (op == "add") flat<I, I, 2>(run, C, [](I l, I r) { return wrapped(bits_of(l) + bits_of(r)); });
    else if constexpr (op == "subtract") flat<I, I, 2>(run, C, [](I l, I r) { return wrapped(bits_of(l) - bits_of(r)); });
    else if constexpr (op == "multiply") flat<I, I, 2>(run, C, [](I l, I r) { return wrapped(bits_of(l) * bits_of(r)); });
    else if constexpr (op == "abs") flat<I, I, 1>(run, C, [](I x) { return select(x < 0, wrapped(0u - bits_of(x)), x); });
    else if constexpr (op == "clamp")
      flat<I, I, 3>(run, C, [](I in, I lo, I hi) { return select(lo > in, lo, select(in > hi, hi, in)); });
    else if constexpr (op == "max") flat<I, I, 2>(run, C, [](I l, I r) { return select(r > l, r, l); });
    else if constexpr (op == "min") flat<I, I, 2>(run, C, [](I l, I r) { return select(r < l, r, l); });
    else if constexpr (op == "sign")
      flat<I, I, 1>(run, C, [](I x) { return select(x < 0, splat_int(-1), select(x > 0, splat_int(1), splat_int(0))); });
  } else if constexpr (comparison) {
    using V = std::conditional_t<real, F, I>;
    if constexpr (op == "equal") flat<V, Truth, 2>(run, C, [](V l, V r) { return l == r; });
    else if constexpr (op == "not_equal") flat<V, Truth, 2>(run, C, [](V l, V r) { return ~(l == r); });
    else if constexpr (op == "less_than") flat<V, Truth, 2>(run, C, [](V l, V r) { return l < r; });
    else if constexpr (op == "greater_than") flat<V, Truth, 2>(run, C, [](V l, V r) { return l > r; });
    else if constexpr (op == "less_than_or_equal") flat<V, Truth, 2>(run, C, [](V l, V r) { return l <= r; });
    else if constexpr (op == "greater_than_or_equal") flat<V, Truth, 2>(run, C, [](V l, V r) { return l >= r; });
  } else if constexpr (geometry) {
    constexpr unsigned N = op == "cross" || op == "reflect" || op == "refract" ? 3 : C;
    by_points(run, [&](std::size_t first, unsigned count) -> I {
      F a[N], b[N], c[N];
      if constexpr (op == "dot") {
        float_points<N, K>(run, 0, first, count, a);
        float_points<N, K>(run, 1, first, count, b);
        F const r = dot_sum(a, b);
        store_part(static_cast<float*>(run.out) + first, r, count);
        return is_nan(r);
      } else if constexpr (op == "length" || op == "distance") {
        float_points<N, K>(run, 0, first, count, a);
        if constexpr (op == "distance") {
          float_points<N, K>(run, 1, first, count, b);
          for (unsigned k = 0; k < N; ++k) a[k] = a[k] - b[k];
        }
        F const r = sqrt(dot_sum(a, a));
        store_part(static_cast<float*>(run.out) + first, r, count);
        return is_nan(r);
      } else {
        F r[N];
        if constexpr (op == "normalize") {
          float_points<N, K>(run, 0, first, count, a);
          F const inverse = 1.0f / sqrt(dot_sum(a, a));
          I const finite = is_finite(inverse);
          for (unsigned k = 0; k < N; ++k) r[k] = select(finite, inverse * a[k], a[k]);
        } else if constexpr (op == "faceforward") {
          float_points<N, K>(run, 0, first, count, a);  // n
          float_points<N, K>(run, 1, first, count, b);  // i
          float_points<N, K>(run, 2, first, count, c);  // ng
          I const faces = dot_sum(c, b) < 0.0f;
          for (unsigned k = 0; k < N; ++k) r[k] = select(faces, a[k], flip_sign(a[k]));
        } else if constexpr (op == "cross") {
          float_points<N, K>(run, 0, first, count, a);
          float_points<N, K>(run, 1, first, count, b);
          r[0] = a[1] * b[2] - a[2] * b[1];
          r[1] = a[2] * b[0] - a[0] * b[2];
          r[2] = a[0] * b[1] - a[1] * b[0];
        } else if constexpr (op == "reflect") {
          float_points<N, K>(run, 0, first, count, a);  // i
          float_points<N, K>(run, 1, first, count, b);  // n
          F const d = dot_sum(b, a);
          F const t = d + d;
          for (unsigned k = 0; k < N; ++k) r[k] = a[k] - t * b[k];
        } else if constexpr (op == "refract") {
          float_points<N, K>(run, 0, first, count, a);  // i
          float_points<N, K>(run, 1, first, count, b);  // n
          F eta[1];
          float_points<1, Kind::real>(run, 2, first, count, eta);
          F const d = dot_sum(b, a);
          F const k = 1.0f - (eta[0] * eta[0]) * (1.0f - d * d);
          F const t = eta[0] * d + sqrt(k);
          I const reflects = k < 0.0f;
          for (unsigned j = 0; j < N; ++j) r[j] = select(reflects, splat(0.0f), eta[0] * a[j] - t * b[j]);
        }
        store_points<N>(static_cast<float*>(run.out), first, count, r);
        I nan = is_nan(r[0]);
        for (unsigned k = 1; k < N; ++k) nan = nan | is_nan(r[k]);
        return nan;
      }
    });
  }
}

template <unsigned Index>
constexpr Kernel kernel_of() {
  if constexpr (Kernel_of<Index>::exists) return &Kernel_of<Index>::run;
  else return nullptr;
}

// The table of this instruction set's kernels, by catalogue index.
template <std::size_t... Index>
constexpr Kernel_table table_of(std::index_sequence<Index...>) {
  return {kernel_of<Index>()...};
}

}  // namespace kvx::shaders::batch::KVX_BATCH_TARGET
