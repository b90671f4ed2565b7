// SPDX-License-Identifier: Apache-2.0
#include <network/descriptions.h>

#include <algorithm>
#include <array>

namespace kvx::network {

namespace {

using catalogue::Kind;

// An operation's line for the float kinds (and the untyped float3 ones), and
// where they differ, for the int and bool kinds; `each` puts "per component"
// before it for a vector or a color.
struct Operation {
  std::string_view name;
  std::string_view real;
  std::string_view integer = {};
  std::string_view truth = {};
  bool each = true;
  std::array<std::string_view, 6> also = {};
};

constexpr Operation operations[] = {
    // Arithmetic
    {"add", "left + right", "left + right, wrapping modulo 2^32", {}, true, {"plus", "sum", "+"}},
    {"subtract", "left − right", "left − right, wrapping modulo 2^32", {}, true, {"minus", "sub", "difference", "-"}},
    {"multiply", "left × right", "the low 32 bits of left × right", {}, true, {"mul", "times", "product", "scale", "*"}},
    {"divide", "left / right (a zero divisor gives ±infinity or NaN)", "left / right, truncated toward zero", {}, true,
     {"div", "quotient", "/"}},
    {"abs", "input with its sign bit cleared (−0 gives +0, a NaN stays NaN)",
     "the absolute value of input, wrapping (−2147483648 stays −2147483648)", {}, true, {"absolute", "fabs"}},
    {"clamp", "input limited to [min, max]: min if min > input, else max if input > max, else input (a NaN input "
              "comes back unchanged)",
     "input limited to [min, max]: min if min > input, else max if input > max, else input", {}, true,
     {"limit", "constrain"}},
    {"exp", "e to the power input (expf)", {}, {}, true, {"exponential"}},
    {"exp2", "2 to the power input by a fast approximation, exact at whole numbers", {}, {}, true, {"pow2"}},
    {"fmod", "the remainder of left / right, with left's sign (fmodf)", {}, {}, true, {"mod", "remainder", "%"}},
    {"max", "the greater of left and right: right if right > left, else left (so left when they are equal or either "
            "is NaN)",
     "the greater of left and right", {}, true, {"maximum"}},
    {"min", "the lesser of left and right: right if left > right, else left (so left when they are equal or either "
            "is NaN)",
     "the lesser of left and right", {}, true, {"minimum"}},
    {"pow", "base to the power exponent (powf)",
     "base to the power exponent in double precision, truncated toward zero; −2147483648 when out of range", {}, true,
     {"power", "exponent"}},
    {"sign", "−1 if input < 0, 1 if input > 0, else 0 (also for −0 and NaN)",
     "−1 if input < 0, 1 if input > 0, else 0", {}, true, {"sgn", "signum"}},
    // Float functions
    {"acos", "the arc cosine of input in radians, NaN outside [−1, 1]", {}, {}, true, {"arccos"}},
    {"asin", "the arc sine of input in radians, NaN outside [−1, 1]", {}, {}, true, {"arcsin"}},
    {"atan", "the arc tangent of input in radians, in [−π/2, π/2]", {}, {}, true, {"arctan"}},
    {"atan2", "the angle of the point (x, y) in radians, in [−π, π]: atan2f(y, x)", {}, {}, true,
     {"atan", "arctan2", "angle"}},
    {"ceil", "the smallest whole number not below input", {}, {}, true, {"ceiling", "round up"}},
    {"cos", "the cosine of input, in radians", {}, {}, true, {"cosine"}},
    {"ddx", "input unchanged: no screen-space derivative is estimated", {}, {}, false, {"dFdx", "derivative"}},
    {"ddy", "input unchanged: no screen-space derivative is estimated", {}, {}, false, {"dFdy", "derivative"}},
    {"degrees", "input radians in degrees: (input / π) × 180", {}, {}, true, {"todegrees", "rad2deg"}},
    {"distance", "the distance between from and to: the square root of the sum of (from − to)² over the "
                 "components, in order",
     {}, {}, false, {"dist"}},
    {"floor", "the largest whole number not above input", {}, {}, true, {"round down", "truncate"}},
    {"frac", "the fractional part, input − floor(input), in [0, 1]: frac(−0.25) = 0.75, frac(−2) = 1", {}, {}, true,
     {"fract", "fractional", "modf"}},
    {"length", "the length of input: the square root of the sum of its components' squares, in order", {}, {}, false,
     {"magnitude", "norm"}},
    {"lerp", "(1 − location) × start + location × end: start at 0, end at 1, and beyond them outside [0, 1]", {}, {},
     true, {"mix", "blend", "interpolate", "linear"}},
    {"log", "the natural logarithm of input (logf)", {}, {}, true, {"ln", "logarithm"}},
    {"log2", "the base-2 logarithm of input: logf(input) / logf(2)", {}, {}, true, {"logarithm"}},
    {"log10", "the base-10 logarithm of input (log10f)", {}, {}, true, {"logarithm"}},
    {"radians", "input degrees in radians: (input / 180) × π", {}, {}, true, {"toradians", "deg2rad"}},
    {"round", "the nearest whole number, halves up: floor(input + 0.5)", {}, {}, true, {"rint", "nearest"}},
    {"rsqrt", "1 / sqrt(input): +infinity at +0, NaN below 0", {}, {}, true, {"inversesqrt", "invsqrt"}},
    {"saturate", "input limited to [0, 1] (a NaN and −0 come back unchanged)", {}, {}, true, {"clamp01", "clamp"}},
    {"sin", "the sine of input, in radians", {}, {}, true, {"sine"}},
    {"smoothstep", "a Hermite step: 0 if start > location, else 1 if location > end, else (t × t) × (3 − 2t) with t = "
                   "(location − start) / (end − start) (NaN where start = end = location, and where any is NaN)",
     {}, {}, true, {"hermite", "smooth", "ease"}},
    {"sqrt", "the square root of input, NaN below 0", {}, {}, true, {"root", "square root"}},
    {"step", "0 if location < threshold, else 1 (also when they are equal or either is NaN)", {}, {}, true,
     {"threshold", "heaviside"}},
    {"tan", "the tangent of input, in radians", {}, {}, true, {"tangent"}},
    // Comparison, boolean and selection
    {"equal", "1 where left = right, else 0 (a NaN equals nothing; +0 equals −0)", "1 where left = right, else 0",
     "1 where left's and right's bytes are the same, else 0", true, {"eq", "==", "same"}},
    {"not_equal", "1 where left ≠ right or either is NaN, else 0", "1 where left ≠ right, else 0",
     "1 where left's and right's bytes differ, else 0", true, {"ne", "!=", "differ"}},
    {"less_than", "1 where left < right, else 0 (0 where either is NaN)", "1 where left < right (signed), else 0", {},
     true, {"lt", "<"}},
    {"greater_than", "1 where left > right, else 0 (0 where either is NaN)", "1 where left > right (signed), else 0",
     {}, true, {"gt", ">"}},
    {"less_than_or_equal", "1 where left ≤ right, else 0 (0 where either is NaN)",
     "1 where left ≤ right (signed), else 0", {}, true, {"le", "<="}},
    {"greater_than_or_equal", "1 where left ≥ right, else 0 (0 where either is NaN)",
     "1 where left ≥ right (signed), else 0", {}, true, {"ge", ">="}},
    {"all", "1 if every component of input is non-zero (a NaN counts as non-zero, −0 as zero), else 0", {}, {}, false,
     {"every", "and"}},
    {"any", "1 if some component of input is non-zero (a NaN counts as non-zero, −0 as zero), else 0", {}, {}, false,
     {"some", "or"}},
    {"and", {}, {}, "1 where left and right are both non-zero, else 0", true, {"&&", "both"}},
    {"or", {}, {}, "1 where left or right is non-zero, else 0", true, {"||", "either"}},
    {"conditional", "true_value if condition is non-zero, else false_value: the whole value, bit for bit", {}, {},
     false, {"select", "if", "ternary", "choose", "switch"}},
    // Geometry
    {"dot", "the dot product: the sum of left × right over the components, in order, from +0",
     "the dot product in float: each component converted to float, then the sum of left × right in order", {}, false,
     {"inner", "scalar product"}},
    {"normalize", "input scaled to length 1: input × (1 / length(input)), unchanged where that inverse is not finite (a "
                  "zero or NaN vector, or one whose squared length rounds to zero, such as (1e-30, 0, "
                  "0)), zeros where the squared length overflows, such as (1e20, 0, 0)",
     {}, {}, false, {"normalise", "unit"}},
    {"faceforward", "n if dot(ng, i) < 0, else −n (every component's sign flipped)", {}, {}, false,
     {"face_forward", "flip"}},
    {"cross", "the cross product left × right", {}, {}, false, {"vector product", "outer"}},
    {"reflect", "i reflected about n: i − 2 dot(n, i) n, neither normalised", {}, {}, false, {"reflection", "mirror"}},
    {"refract", "i refracted through a surface of normal n with index ratio eta (neither normalised); (0, 0, 0) on "
                "total internal reflection",
     {}, {}, false, {"refraction", "snell"}},
    // Textures
    {"tex1d", "the color of the host's texture `texture` at coordinate, a 1-D lookup (kvx-host: 1 a checker, 2 a ramp)",
     {}, {}, false, {"texture", "sample", "texture1D", "lookup"}},
    {"tex2d", "the color of the host's texture `texture` at coordinate, a 2-D lookup (kvx-host: 1 a checker, 2 a ramp)",
     {}, {}, false, {"texture", "sample", "texture2D", "lookup", "image"}},
    {"tex3d", "the color of the host's texture `texture` at coordinate, a 3-D lookup (kvx-host: 1 a checker, 2 a ramp)",
     {}, {}, false, {"texture", "sample", "texture3D", "lookup", "volume"}},
    {"texcube", "the color of the host's cube texture `texture` in the direction coordinate (kvx-host: 1 a checker, "
                "2 a ramp)",
     {}, {}, false, {"texture", "sample", "textureCube", "cubemap", "environment"}},
};

// The scalar form of the geometry operations that have one.
std::string_view scalar_form(std::string_view operation) {
  if (operation == "distance") return "|from − to|";
  if (operation == "length") return "|input|, its sign bit cleared";
  if (operation == "dot") return "left × right";
  return {};
}

constexpr std::array<std::string_view, 3> state_others = {"renderer", "state", "read"};

constexpr Operation const* operation_of(catalogue::Shader const& shader) {
  for (auto const& o : operations)
    if (o.name == shader.operation) return &o;
  return nullptr;
}

consteval bool every_operation_described() {
  for (auto const& row : catalogue::shaders)
    if (row.source == catalogue::Source::none && !operation_of(row)) return false;
  return true;
}
static_assert(every_operation_described(), "every operation of the catalogue has its line in `operations`");

std::string state_description(catalogue::Shader const& shader) {
  std::string field(shader.operation);
  std::replace(field.begin(), field.end(), '_', ' ');
  std::string_view const object = shader.source == catalogue::Source::state    ? "State"
                                  : shader.source == catalogue::Source::render ? "Render_settings"
                                                                               : "Camera_settings";
  std::string text = "the renderer's " + field + ", as the host's " + std::string(object) + " answers id " +
                     std::to_string(shader.id);
  if (shader.result == catalogue::Type::bool_)
    text += ": 1 if that integer is non-zero, else 0";
  else
    text += ", a " + std::string(name(shader.result));
  if (shader.entry == catalogue::Entry::overrides_normal)
    text += " (the C entry first puts a float3 from the start of its parameter block in place of the normal)";
  return text;
}

}  // namespace

std::string description(catalogue::Shader const& shader) {
  if (shader.source != catalogue::Source::none) return state_description(shader);
  Operation const* operation = operation_of(shader);
  catalogue::Type const type = shader.type;
  if (is_scalar(type) && kind(type) == Kind::real)
    if (auto form = scalar_form(shader.operation); !form.empty()) return std::string(form);
  std::string_view text = operation->real;
  if (kind(type) == Kind::integer && !operation->integer.empty()) text = operation->integer;
  if (kind(type) == Kind::truth && !operation->truth.empty()) text = operation->truth;
  if (!operation->each || is_scalar(type) || !shader.typed) return std::string(text);
  return std::string(type == catalogue::Type::color ? "per component, alpha included: " : "per component: ") +
         std::string(text);
}

std::span<std::string_view const> other_names(catalogue::Shader const& shader) {
  if (shader.source != catalogue::Source::none) return state_others;
  auto const& also = operation_of(shader)->also;
  auto const used = std::find(also.begin(), also.end(), std::string_view{});
  return {also.data(), static_cast<std::size_t>(used - also.begin())};
}

}  // namespace kvx::network
