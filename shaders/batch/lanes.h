// SPDX-License-Identifier: Apache-2.0
// Vectors of lanes for one instruction set, the one KVX_BATCH_TARGET names:
// sse2 (4 lanes, what every x86-64 processor has), avx2 (8) or avx512 (16).
// A unit that includes this is compiled for that instruction set, and
// everything it defines lies in the namespace of that name, so that no
// function compiled for a wider set can stand in for a narrower one's.
//
// Every operation here is the IEEE operation of its scalar namesake, lane by
// lane: the same bits as the scalar code wherever no NaN is involved (which
// NaN an operation passes on is left to the scalar code: see kernels.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <immintrin.h>

#if !defined(KVX_BATCH_TARGET)
#error "a unit of batch kernels names its instruction set with KVX_BATCH_TARGET"
#endif

#define KVX_TARGET_sse2 1
#define KVX_TARGET_avx2 2
#define KVX_TARGET_avx512 3
#define KVX_TARGET_CONCAT_(a, b) a##b
#define KVX_TARGET_CONCAT(a, b) KVX_TARGET_CONCAT_(a, b)
#define KVX_TARGET_IS(name) (KVX_TARGET_CONCAT(KVX_TARGET_, KVX_BATCH_TARGET) == KVX_TARGET_##name)

namespace kvx::shaders::batch::KVX_BATCH_TARGET {

#if KVX_TARGET_IS(avx512)
inline constexpr unsigned lanes = 16;
#elif KVX_TARGET_IS(avx2)
inline constexpr unsigned lanes = 8;
#else
inline constexpr unsigned lanes = 4;
#endif

typedef float F __attribute__((vector_size(4 * lanes)));
typedef std::int32_t I __attribute__((vector_size(4 * lanes)));
typedef std::uint32_t U __attribute__((vector_size(4 * lanes)));
typedef std::uint8_t Bytes __attribute__((vector_size(lanes)));

#define KVX_LANE [[gnu::always_inline]] inline

// Element i of a host's array, which need not be aligned for its type.
template <class T>
KVX_LANE T read(T const* from, std::size_t i) {
  T value;
  __builtin_memcpy(&value, from + i, sizeof value);
  return value;
}
template <class T>
KVX_LANE void write(T* to, std::size_t i, T value) {
  __builtin_memcpy(to + i, &value, sizeof value);
}

template <class V, class T>
KVX_LANE V load(T const* from) {
  V v;
  __builtin_memcpy(&v, from, sizeof v);
  return v;
}
template <class V, class T>
KVX_LANE void store(T* to, V v) {
  __builtin_memcpy(to, &v, sizeof v);
}
// The first `count` lanes (at most all) from `from`, the others zero.
template <class V, class T>
KVX_LANE V load_part(T const* from, unsigned count) {
  if (count >= lanes) return load<V>(from);
  T part[lanes] = {};
  __builtin_memcpy(part, from, (count < lanes ? count : lanes) * sizeof(T));
  return load<V>(part);
}
template <class V, class T>
KVX_LANE void store_part(T* to, V v, unsigned count) {
  if (count >= lanes) return store(to, v);
  T part[lanes];
  store(part, v);
  __builtin_memcpy(to, part, (count < lanes ? count : lanes) * sizeof(T));
}

// Every lane x, bit for bit: not by adding x to zeros, which turns -0 into +0.
template <class V, class T>
KVX_LANE V every_lane(T x) {
  V v;
  for (unsigned j = 0; j < lanes; ++j) v[j] = x;
  return v;
}
KVX_LANE F splat(float x) { return every_lane<F>(x); }
KVX_LANE I splat_int(std::int32_t x) { return every_lane<I>(x); }

KVX_LANE F as_float(I x) { return reinterpret_cast<F>(x); }
KVX_LANE F as_float(U x) { return reinterpret_cast<F>(x); }
KVX_LANE U as_bits(F x) { return reinterpret_cast<U>(x); }

// Masks are the comparisons' all-ones or zero lanes.
KVX_LANE F select(I mask, F yes, F no) { return mask ? yes : no; }
KVX_LANE I select(I mask, I yes, I no) { return mask ? yes : no; }

KVX_LANE I is_nan(F x) { return x != x; }

// Whether any lane of a mask is set.
KVX_LANE bool any(I mask) {
#if KVX_TARGET_IS(avx512)
  return _mm512_movepi32_mask(reinterpret_cast<__m512i>(mask)) != 0;
#elif KVX_TARGET_IS(avx2)
  return _mm256_movemask_ps(reinterpret_cast<__m256>(mask)) != 0;
#else
  return _mm_movemask_ps(reinterpret_cast<__m128>(mask)) != 0;
#endif
}

// Truth bytes from a mask: 1 where set, else 0.
KVX_LANE Bytes truth_bytes(I mask) { return __builtin_convertvector(mask & 1, Bytes); }

// (The AVX-512 forms below name every lane in a mask: their plain forms
// start from an undefined vector, which GCC 12 warns of.)
KVX_LANE F sqrt(F x) {
#if KVX_TARGET_IS(avx512)
  return _mm512_mask_sqrt_ps(x, 0xffff, x);
#elif KVX_TARGET_IS(avx2)
  return _mm256_sqrt_ps(x);
#else
  return _mm_sqrt_ps(x);
#endif
}

// The processor's truncation: 0x80000000 for NaN and anything out of range.
KVX_LANE I truncate(F x) {
#if KVX_TARGET_IS(avx512)
  return reinterpret_cast<I>(_mm512_mask_cvttps_epi32(reinterpret_cast<__m512i>(I{}), 0xffff, x));
#elif KVX_TARGET_IS(avx2)
  return reinterpret_cast<I>(_mm256_cvttps_epi32(x));
#else
  return reinterpret_cast<I>(_mm_cvttps_epi32(x));
#endif
}

KVX_LANE F to_float(I x) { return __builtin_convertvector(x, F); }

KVX_LANE F clear_sign(F x) { return as_float(as_bits(x) & 0x7fffffffu); }
KVX_LANE F flip_sign(F x) { return as_float(as_bits(x) ^ 0x80000000u); }
KVX_LANE F copy_sign(F magnitude, F sign) {
  return as_float((as_bits(magnitude) & 0x7fffffffu) | (as_bits(sign) & 0x80000000u));
}

// Below 2^23 in magnitude a float may have a fraction; from there on it is whole.
inline constexpr float whole_from = 8388608.0f;

// floorf and ceilf: the same value, -0 kept, NaN and infinities as they come.
KVX_LANE F floor(F x) {
#if KVX_TARGET_IS(avx512)
  return _mm512_mask_roundscale_ps(x, 0xffff, x, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
#elif KVX_TARGET_IS(avx2)
  return _mm256_round_ps(x, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
#else
  // Truncation, one less where that rose above x; a zero takes x's sign.
  F t = to_float(truncate(x));
  t = select(t > x, t - 1.0f, t);
  t = select(t == 0.0f, copy_sign(t, x), t);
  return select(clear_sign(x) < whole_from, t, x);
#endif
}

KVX_LANE F ceil(F x) {
#if KVX_TARGET_IS(avx512)
  return _mm512_mask_roundscale_ps(x, 0xffff, x, _MM_FROUND_TO_POS_INF | _MM_FROUND_NO_EXC);
#elif KVX_TARGET_IS(avx2)
  return _mm256_round_ps(x, _MM_FROUND_TO_POS_INF | _MM_FROUND_NO_EXC);
#else
  F t = to_float(truncate(x));
  t = select(t < x, t + 1.0f, t);
  t = select(t == 0.0f, copy_sign(t, x), t);
  return select(clear_sign(x) < whole_from, t, x);
#endif
}

// Truncation toward zero as a float, the sign of a zero kept.
KVX_LANE F trunc(F x) {
#if KVX_TARGET_IS(avx512)
  return _mm512_mask_roundscale_ps(x, 0xffff, x, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
#elif KVX_TARGET_IS(avx2)
  return _mm256_round_ps(x, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
#else
  F const t = copy_sign(to_float(truncate(x)), x);
  return select(clear_sign(x) < whole_from, t, x);
#endif
}

}  // namespace kvx::shaders::batch::KVX_BATCH_TARGET
