// SPDX-License-Identifier: Apache-2.0
// Lifting scalar rules over the components of a value. The component count is
// a compile-time constant, so every shader handles exactly its N components,
// unrolled, with no loop or dispatch at run time.
#pragma once

#include <cstddef>
#include <utility>

#include <shaders/values.h>

namespace kvx::shaders {

template <std::size_t N, class F>
[[gnu::always_inline]] inline void for_each_component(F&& f) {
  [&]<std::size_t... I>(std::index_sequence<I...>) { (f(I), ...); }(std::make_index_sequence<N>{});
}

// Result component i is Rule::scalar of component i of every argument.
template <class Rule>
struct Componentwise {
  template <Type T, class... Rest>
  [[gnu::always_inline]] static Value<T> apply(Value<T> const& first, Rest const&... rest) {
    Value<T> r;
    for_each_component<Value<T>::size>([&](std::size_t i) { r.c[i] = Rule::scalar(first.c[i], rest.c[i]...); });
    return r;
  }
};

}  // namespace kvx::shaders
