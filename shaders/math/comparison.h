// SPDX-License-Identifier: Apache-2.0
// Comparisons, reductions, connectives and selection. Truth values the library
// produces are the bytes 0 and 1; a tested truth byte is true when non-zero.
#pragma once

#include <cstdint>

#include <shaders/math/componentwise.h>

namespace kvx::shaders {

// Result component i is 1 when Relation holds between the i-th components.
// Float relations are IEEE ordered comparisons (false against NaN); bool bytes
// compare exactly as stored, so two different non-zero bytes are unequal.
template <class Relation>
struct Comparison {
  template <Type T>
  static Value<boolean_of(T)> apply(Value<T> const& l, Value<T> const& r) {
    Value<boolean_of(T)> out;
    for_each_component<Value<T>::size>([&](std::size_t i) { out.c[i] = Relation::holds(l.c[i], r.c[i]) ? 1 : 0; });
    return out;
  }
};

struct op_equal : Comparison<op_equal> {
  template <class C> static bool holds(C l, C r) { return l == r; }
};
// The exact negation of equal: true when either operand is NaN.
struct op_not_equal : Comparison<op_not_equal> {
  template <class C> static bool holds(C l, C r) { return !(l == r); }
};
struct op_less_than : Comparison<op_less_than> {
  template <class C> static bool holds(C l, C r) { return l < r; }
};
struct op_greater_than : Comparison<op_greater_than> {
  template <class C> static bool holds(C l, C r) { return l > r; }
};
struct op_less_than_or_equal : Comparison<op_less_than_or_equal> {
  template <class C> static bool holds(C l, C r) { return l <= r; }
};
struct op_greater_than_or_equal : Comparison<op_greater_than_or_equal> {
  template <class C> static bool holds(C l, C r) { return l >= r; }
};

// Non-zero under each kind's own test: NaN is true, -0.0 false.
template <class C>
constexpr bool truth(C component) { return component != C{}; }

struct op_all {
  template <Type T>
  static Value<Type::bool_> apply(Value<T> const& input) {
    bool all = true;
    for_each_component<Value<T>::size>([&](std::size_t i) { all = all && truth(input.c[i]); });
    return {{static_cast<std::uint8_t>(all)}};
  }
};

struct op_any {
  template <Type T>
  static Value<Type::bool_> apply(Value<T> const& input) {
    bool any = false;
    for_each_component<Value<T>::size>([&](std::size_t i) { any = any || truth(input.c[i]); });
    return {{static_cast<std::uint8_t>(any)}};
  }
};

struct op_and : Componentwise<op_and> {
  static std::uint8_t scalar(std::uint8_t l, std::uint8_t r) { return l != 0 && r != 0; }
};

struct op_or : Componentwise<op_or> {
  static std::uint8_t scalar(std::uint8_t l, std::uint8_t r) { return l != 0 || r != 0; }
};

// One condition selects the whole value, copied bit for bit: bool bytes are
// not normalised, NaN payloads and signed zeros survive.
struct op_conditional {
  template <Type T>
  static Value<T> apply(Value<Type::bool_> const& condition, Value<T> const& if_true, Value<T> const& if_false) {
    return condition.c[0] != 0 ? if_true : if_false;
  }
};

}  // namespace kvx::shaders
