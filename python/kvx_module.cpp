// SPDX-License-Identifier: Apache-2.0
// The Python module `kvx`: the catalogue, one shader evaluated on any
// interface or mapped over NumPy arrays, and networks shaded over a grid or
// at given points into NumPy arrays. It wraps the reference host (host/) and
// the batch library, so every answer is the one kvx-host gives.
#include <dlfcn.h>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <network/batch_shading.h>
#include <network/catalogue_json.h>
#include <network/limits.h>
#include <network/evaluation.h>
#include <network/grid.h>
#include <host/library.h>
#include <network/network_text.h>
#include <network/printable.h>
#include <network/suggestions.h>
#include <network/values.h>

namespace py = pybind11;

namespace kvx::python {

// Two interfaces disagree; the message names both bit patterns.
struct Path_mismatch : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The plug-in resolves the host's four C functions in the process's global
// scope, but Python loads an extension's libraries locally: the reference
// host is made global before the plug-in is loaded.
void make_host_functions_global() {
  Dl_info self{};
  if (dladdr(reinterpret_cast<void*>(&host::Library::default_path), &self) && self.dli_fname)
    dlopen(self.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_GLOBAL);
}

// A Python value as kvx-host takes it on the command line: "1,2,3", "true",
// "nan"; strings as they are. Parsing the text gives kvx-host's messages.
std::string value_text(py::handle value) {
  if (py::isinstance<py::str>(value)) return value.cast<std::string>();
  if (py::isinstance<py::bool_>(value)) return value.cast<bool>() ? "true" : "false";
  if (py::hasattr(value, "__index__")) return py::str(py::int_(py::reinterpret_borrow<py::object>(value)));
  if (py::hasattr(value, "__float__")) return py::repr(py::float_(py::reinterpret_borrow<py::object>(value)));
  if (py::isinstance<py::sequence>(value) || py::isinstance<py::array>(value)) {
    std::string text;
    for (auto component : py::iter(value)) {
      if (py::isinstance<py::sequence>(component) && !py::isinstance<py::str>(component))
        throw std::invalid_argument("a value's components are numbers, not sequences");
      text += (text.empty() ? "" : ",") + value_text(component);
    }
    return text;
  }
  throw std::invalid_argument("cannot use a value of type '" +
                              std::string(py::str(py::type::of(value).attr("__name__"))) + "' as a shader value");
}

py::object to_python(catalogue::Type type, catalogue::Value_bytes const& bytes) {
  auto component = [&](unsigned i) -> py::object {
    switch (kind(type)) {
      case catalogue::Kind::truth: return py::bool_(bytes[i] != 0);
      case catalogue::Kind::integer: {
        std::int32_t v;
        std::memcpy(&v, bytes.data() + 4 * i, 4);
        return py::int_(v);
      }
      default: {
        float f;
        std::memcpy(&f, bytes.data() + 4 * i, 4);
        return py::float_(f);
      }
    }
  };
  if (is_scalar(type)) return component(0);
  py::tuple tuple(components(type));
  for (unsigned i = 0; i < components(type); ++i) tuple[i] = component(i);
  return tuple;
}

network::Paths parse_path(std::string const& path) {
  auto const paths = network::parse_paths(path);
  if (!paths) throw std::invalid_argument(std::string("path takes ") + network::paths_choices);
  return *paths;
}

class Library {
 public:
  explicit Library(std::optional<std::filesystem::path> const& path) {
    make_host_functions_global();
    library_ = std::make_shared<host::Library>(path ? path->string() : host::Library::default_path());
  }

  std::shared_ptr<host::Library> const& get() const { return library_; }
  std::string path() const { return library_->path(); }

  py::list shaders() const {
    if (!shaders_) {
      network::Json const document = network::catalogue_document(*library_);
      shaders_ = py::module_::import("json").attr("loads")(document["shaders"].dump());
    }
    return py::list(*shaders_);  // a fresh list each time: callers may change theirs
  }

  py::object shader(std::string const& name) const {
    network::request_for(name);  // throws for an unknown name
    return shaders()[catalogue::find(name)->index];
  }

  py::object eval(std::string const& name, py::kwargs const& arguments) const {
    auto request = network::request_for(name);
    network::Paths paths = network::Paths::all;
    for (auto const& [key_handle, value] : arguments) {
      std::string const key = py::str(key_handle);
      if (key == "path") {
        paths = parse_path(value.cast<std::string>());
      } else if (key == "gather") {
        int const truth = PyObject_IsTrue(value.ptr());
        if (truth < 0) throw py::error_already_set();
        request.gather = truth == 1;
      } else if (key == "ray_type") {
        auto const ray_type = py::isinstance<py::int_>(value) ? network::parse_int(py::str(value)) : std::nullopt;
        if (!ray_type) throw std::invalid_argument("ray_type takes a 32-bit int");
        request.ray_type = *ray_type;
      } else if (key == "state" || key == "render" || key == "camera") {
        using T = network::Host_setting::Target;
        T const target = key == "state" ? T::state : key == "render" ? T::render : T::camera;
        if (!py::isinstance<py::dict>(value)) throw std::invalid_argument(key + " takes {id: value}");
        for (auto const& [id, setting] : py::reinterpret_borrow<py::dict>(value))
          request.settings.push_back(
              network::parse_setting(target, std::string(py::str(id)) + "=" + value_text(setting)));
      } else {
        network::set_parameter(request, key, value_text(value));
      }
    }
    catalogue::Type const result = request.shader->result;
    std::vector<std::pair<network::Paths, catalogue::Value_bytes>> values;
    if (network::runs_c(paths)) values.emplace_back(network::Paths::c, network::evaluate_c(*library_, request).value);
    if (network::runs_cpp(paths)) values.emplace_back(network::Paths::cpp, network::evaluate_object(*library_, request));
    if (network::runs_batch(paths))
      values.emplace_back(network::Paths::batch, network::evaluate_batch(network::batch_library(), request));
    for (auto const& [path, value] : values)
      if (std::memcmp(value.data(), values[0].second.data(), catalogue::width(result)) != 0)
        throw Path_mismatch(name + ": the paths differ: " +
                            network::format_difference(result, network::value_name(values[0].first), values[0].second,
                                                       network::value_name(path), value) +
                            " (an unset parameter follows each path's own rule)");
    return to_python(result, values[0].second);
  }

  py::array map(std::string const& name, py::kwargs const& arrays) const;

 private:
  std::shared_ptr<host::Library> library_;
  mutable std::optional<py::object> shaders_;
};

class Network {
 public:
  Network(Library const& library, std::optional<std::string> const& text,
          std::optional<std::filesystem::path> const& file)
      : library_(library.get()), text_(*library_) {
    if (text && file) throw std::invalid_argument("a network comes from text or from a file, not both");
    if (text) source_ = {"<text>", text_.read(*text, "<text>")};
    if (file) source_ = {file->string(), text_.read_file(file->string())};
  }

  void add(std::string const& shader, std::string const& instance) { statement({"shader", shader, instance}); }
  void param(std::string const& target, py::handle value) { statement({"param", target, value_text(value)}); }
  void connect(std::string const& from, std::string const& to) { statement({"connect", from, to}); }
  void splat(std::string const& from, std::string const& to) { statement({"splat", from, to}); }
  void output(std::string const& instance) { statement({"output", instance}); }

  py::array_t<float> shade_at(py::kwargs const& fields) const;

  py::array_t<float> shade(unsigned width, unsigned height, std::string const& path, unsigned threads,
                           std::string const& geometry) const {
    if (width < 1 || width > network::max_grid_side || height < 1 || height > network::max_grid_side)
      throw std::invalid_argument("width and height are 1 to " + std::to_string(network::max_grid_side));
    if (threads < 1 || threads > network::max_threads)
      throw std::invalid_argument("threads is 1 to " + std::to_string(network::max_threads));
    network::Paths const paths = parse_path(path);
    auto const on = network::parse_geometry(geometry);
    if (!on) throw std::invalid_argument("geometry takes plane or sphere");
    auto const network = text_.finish(source_);
    auto pixels = std::make_unique<network::Pixels>();
    std::optional<network::Mismatch> mismatch;
    unsigned channels;
    {
      py::gil_scoped_release unlocked;
      auto shaded =
          network::shade_grid(network.network, network.output, network.shader.result, {width, height, *on}, paths,
                              threads);
      *pixels = std::move(shaded.pixels);
      mismatch = shaded.mismatch;
      channels = shaded.channels;
    }
    if (mismatch) {
      if (mismatch->instance) mismatch->instance_name = text_.name_of(*mismatch->instance);
      throw Path_mismatch(network::mismatch_text(network.shader.result, *mismatch));
    }
    // The array keeps the shaded floats: no copy.
    float* data = pixels->data();
    py::capsule owner(pixels.release(), [](void* p) { delete static_cast<network::Pixels*>(p); });
    return py::array_t<float>({std::size_t{height}, std::size_t{width}, std::size_t{channels}}, data, owner);
  }

 private:
  void statement(std::vector<std::string> const& words) {
    std::vector<std::string_view> const views(words.begin(), words.end());
    source_ = {"<python>", source_.source == "<python>" ? source_.line + 1 : 1};
    text_.statement(views, source_);
  }

  std::shared_ptr<host::Library> library_;  // outlives the network's instances
  network::Network_text text_;
  network::Location source_{"<python>", 0};  // where the last statement came from
};

// Arrays

// A parameter's values as the batch functions take them: NumPy arrays of the
// type's dtype (float32, int32, bool; uint32 for texture handles), the
// components on the last axis, broadcast against one another.
struct Values_in {
  py::array array;             // the values, C-contiguous unless one for every point
  std::vector<py::ssize_t> shape;  // the points' shape, the components' axis left out
  bool one = false;            // a single value for every point
};

py::dtype dtype_of(catalogue::Type type) {
  switch (kind(type)) {
    case catalogue::Kind::real: return py::dtype::of<float>();
    case catalogue::Kind::integer: return py::dtype::of<std::int32_t>();
    case catalogue::Kind::truth: return py::dtype::of<bool>();
    default: return py::dtype::of<std::uint32_t>();
  }
}

Values_in values_in(std::string const& name, catalogue::Type type, py::handle given) {
  py::dtype const wanted = dtype_of(type);
  py::array array;
  if (py::isinstance<py::array>(given)) {
    array = py::reinterpret_borrow<py::array>(given);
    if (!array.dtype().equal(wanted))
      throw py::type_error(name + ": a " + std::string(catalogue::name(type)) + " takes " +
                           wanted.attr("name").cast<std::string>() + " values, not " +
                           array.dtype().attr("name").cast<std::string>());
  } else {
    // Python numbers and sequences of them, as NumPy converts them.
    array = py::array(py::module_::import("numpy").attr("asarray")(given, wanted));
  }
  Values_in in;
  unsigned const components = catalogue::components(type);
  py::ssize_t const dimensions = array.ndim();
  if (components > 1) {
    if (dimensions == 0 || array.shape(dimensions - 1) != static_cast<py::ssize_t>(components))
      throw py::value_error(name + ": a " + std::string(catalogue::name(type)) + " takes " +
                            std::to_string(components) + " components on the last axis, not an array of shape " +
                            std::string(py::str(py::tuple(py::cast(std::vector<py::ssize_t>(
                                array.shape(), array.shape() + dimensions))))));
    in.shape.assign(array.shape(), array.shape() + dimensions - 1);
  } else {
    in.shape.assign(array.shape(), array.shape() + dimensions);
  }
  in.one = in.shape.empty() || std::all_of(in.shape.begin(), in.shape.end(), [](py::ssize_t n) { return n == 1; });
  in.array = py::array::ensure(array, py::array::c_style | py::array::forcecast);
  return in;
}

// The points' shape of several broadcast together; ValueError where they do not.
std::vector<py::ssize_t> broadcast(std::vector<Values_in> const& values) {
  py::list shapes;
  for (auto const& v : values) shapes.append(py::tuple(py::cast(v.shape)));
  if (shapes.empty()) return {};
  return py::module_::import("numpy").attr("broadcast_shapes")(*shapes).cast<std::vector<py::ssize_t>>();
}

// The values for `points` points of `shape`: one value stays one (stride 0);
// the rest broadcast to the full shape, contiguous (copied only if broadcast).
kvx_batch_values batch_values(Values_in& in, std::vector<py::ssize_t> const& shape, catalogue::Type type) {
  if (in.one) return {in.array.data(), 0};
  if (in.shape != shape) {
    std::vector<py::ssize_t> full = shape;
    if (catalogue::components(type) > 1) full.push_back(catalogue::components(type));
    in.array = py::array::ensure(py::module_::import("numpy").attr("broadcast_to")(in.array, py::tuple(py::cast(full))),
                                 py::array::c_style | py::array::forcecast);
    in.shape = shape;
  }
  return {in.array.data(), static_cast<std::ptrdiff_t>(catalogue::width(type))};
}

py::ssize_t point_count(std::vector<py::ssize_t> const& shape) {
  py::ssize_t n = 1;
  for (auto d : shape) n *= d;
  return n;
}

py::array result_array(catalogue::Type type, std::vector<py::ssize_t> shape) {
  if (catalogue::components(type) > 1) shape.push_back(catalogue::components(type));
  return py::array(dtype_of(type), shape);
}

// The name a State_ shader's field takes as a keyword: its field, uv for
// the parametric uv.
std::string field_keyword(catalogue::Shader const& row) {
  return row.operation == "parametric_uv" ? "uv" : std::string(row.operation);
}

py::array Library::map(std::string const& name, py::kwargs const& arrays) const {
  auto const request = network::request_for(name);  // throws for an unknown name
  catalogue::Shader const& row = *request.shader;
  std::vector<std::string> names;
  std::vector<catalogue::Type> types;
  if (row.source != catalogue::Source::none) {
    names.push_back(field_keyword(row));
    types.push_back(row.result == catalogue::Type::bool_ ? catalogue::Type::int_ : row.result);
  } else {
    for (auto const& p : row.parameters()) names.emplace_back(p.name), types.push_back(p.type);
  }
  std::vector<Values_in> given(names.size());
  std::vector<bool> present(names.size(), false);
  for (auto const& [key_handle, value] : arrays) {
    std::string const key = py::str(key_handle);
    auto const at = std::find(names.begin(), names.end(), key);
    if (at == names.end()) {
      std::vector<std::string_view> known(names.begin(), names.end());
      throw network::Unknown_name(name + " has no parameter '" + network::printable(key) + "'" +
                                  network::did_you_mean(key, known));
    }
    std::size_t const k = static_cast<std::size_t>(at - names.begin());
    given[k] = values_in(key, types[k], value);
    present[k] = true;
  }
  if (row.source != catalogue::Source::none && !present[0])
    throw py::value_error(name + " reads the host's " + names[0] + ": give its values as " + names[0] + "=...");
  std::vector<Values_in> shaped;
  for (std::size_t k = 0; k < names.size(); ++k)
    if (present[k]) shaped.push_back(given[k]);
  std::vector<py::ssize_t> const shape = broadcast(shaped);
  std::vector<kvx_batch_values> parameters(std::max<std::size_t>(names.size(), 1), kvx_batch_values{nullptr, 0});
  for (std::size_t k = 0; k < names.size(); ++k)
    if (present[k]) parameters[k] = batch_values(given[k], shape, types[k]);
  py::array out = result_array(row.result, shape);
  host::Reference_host host;  // the textures eval's host has
  kvx_batch_host const lookups = network::batch_host(host);
  std::size_t const count = static_cast<std::size_t>(point_count(shape));
  kvx_batch_status status;
  {
    py::gil_scoped_release unlocked;
    status = network::batch_library().function(row.index)(&lookups, count, parameters.data(),
                                                          {out.mutable_data(),
                                                           static_cast<std::ptrdiff_t>(catalogue::width(row.result))});
  }
  if (status != KVX_BATCH_DONE) throw std::runtime_error(name + ": the batch function refused its values");
  return out;
}

py::array_t<float> Network::shade_at(py::kwargs const& fields) const {
  auto const network = text_.finish(source_);
  // The State_ shaders by the keyword of their field.
  std::vector<catalogue::Shader const*> rows;
  std::vector<Values_in> given;
  for (auto const& [key_handle, value] : fields) {
    std::string const key = py::str(key_handle);
    catalogue::Shader const* found = nullptr;
    std::vector<std::string> keywords;
    for (unsigned i = network::first_state_shader; i < catalogue::shader_count; ++i) {
      keywords.push_back(field_keyword(catalogue::shaders[i]));
      if (keywords.back() == key) found = &catalogue::shaders[i];
    }
    if (!found) {
      std::vector<std::string_view> known(keywords.begin(), keywords.end());
      throw network::Unknown_name("no state field '" + network::printable(key) + "'" + network::did_you_mean(key, known));
    }
    rows.push_back(found);
    given.push_back(values_in(key, found->result == catalogue::Type::bool_ ? catalogue::Type::int_ : found->result,
                              value));
  }
  std::vector<py::ssize_t> const shape = broadcast(given);
  std::array<bool, network::state_shaders> varies{};
  std::array<kvx_batch_values, network::state_shaders> values{};
  for (std::size_t f = 0; f < rows.size(); ++f) {
    unsigned const field = rows[f]->index - network::first_state_shader;
    catalogue::Type const type = rows[f]->result == catalogue::Type::bool_ ? catalogue::Type::int_ : rows[f]->result;
    values[field] = batch_values(given[f], shape, type);
    varies[field] = true;
  }
  catalogue::Type const result = network.shader.result;
  std::size_t const count = static_cast<std::size_t>(point_count(shape));
  unsigned const channels = catalogue::components(result);
  auto pixels = std::make_unique<network::Pixels>(count * channels);
  {
    py::gil_scoped_release unlocked;
    host::Reference_host host;
    network::set_grid_settings(host, {1, 1});  // what is not given: the grid's plane, and its textures
    network::Batch_shading batch(network.network, network.output, host, varies);
    std::array<kvx_batch_values, network::state_shaders> block{};
    network::Block_state state{};
    network::Pixel_store const store = network::pixel_store(result);
    for (std::size_t first = 0; first < count; first += batch.block()) {
      std::size_t const n = std::min(batch.block(), count - first);
      for (unsigned f = 0; f < network::state_shaders; ++f)
        if (varies[f]) {
          block[f] = {static_cast<unsigned char const*>(values[f].data) +
                          static_cast<std::ptrdiff_t>(first) * values[f].stride,
                      values[f].stride};
          state[f] = &block[f];
        }
      kvx_batch_values const out = batch.shade(n, state);
      for (std::size_t i = 0; i < n; ++i) {
        catalogue::Value_bytes value{};
        std::memcpy(value.data(),
                    static_cast<unsigned char const*>(out.data) + static_cast<std::ptrdiff_t>(i) * out.stride,
                    catalogue::width(result));
        store(value, pixels->data() + (first + i) * channels);
      }
    }
  }
  std::vector<py::ssize_t> full = shape;
  full.push_back(channels);
  float* data = pixels->data();
  py::capsule owner(pixels.release(), [](void* p) { delete static_cast<network::Pixels*>(p); });
  return py::array_t<float>(full, data, owner);
}

}  // namespace kvx::python

PYBIND11_MODULE(kvx, m) {
  using namespace kvx::python;
  m.doc() = "The kvx base shaders through the reference host: catalogue, evaluation, network shading.";

  py::register_exception<Path_mismatch>(m, "PathMismatch");
  py::register_exception<kvx::network::Network_error>(m, "NetworkError", PyExc_ValueError);
  py::register_exception_translator([](std::exception_ptr failure) {
    try {
      if (failure) std::rethrow_exception(failure);
    } catch (kvx::network::Unknown_name const& e) {
      PyErr_SetString(PyExc_KeyError, e.what());
    }
  });

  py::class_<Library>(m, "Library", "The plug-in, loaded as kvx-host loads it.")
      .def(py::init<std::optional<std::filesystem::path>>(), py::arg("path") = py::none())
      .def_property_readonly("path", &Library::path)
      .def_property_readonly("shaders", &Library::shaders, "Every shader as `kvx-host list --json` gives it.")
      .def("shader", &Library::shader, py::arg("name"))
      .def("eval", &Library::eval, py::arg("name"),
           "eval(name, path='all', gather=False, ray_type=0, state=None, render=None, camera=None, **parameters)")
      .def("map", &Library::map, py::arg("name"), "map(name, **arrays): the shader over NumPy arrays");

  py::class_<Network>(m, "Network", "A network of the library's shaders, as the kvx-host network format writes it.")
      .def(py::init<Library const&, std::optional<std::string>, std::optional<std::filesystem::path>>(),
           py::arg("library"),
           py::arg("text") = py::none(), py::kw_only(), py::arg("file") = py::none())
      .def("add", &Network::add, py::arg("shader"), py::arg("instance"))
      .def("param", &Network::param, py::arg("target"), py::arg("value"))
      .def("connect", &Network::connect, py::arg("source"), py::arg("target"))
      .def("splat", &Network::splat, py::arg("source"), py::arg("target"))
      .def("output", &Network::output, py::arg("instance"))
      .def("shade", &Network::shade, py::arg("width"), py::arg("height"), py::arg("path") = "batch",
           py::arg("threads") = 1, py::arg("geometry") = "plane")
      .def("shade_at", &Network::shade_at, "shade_at(**fields): the output at points whose state fields are given");
}
