// SPDX-License-Identifier: Apache-2.0
// The Python module `kvx`: the catalogue, one shader evaluated on either
// interface, and networks shaded over a grid into NumPy arrays. It wraps the
// reference host (host/), so every answer is the one kvx-host gives.
#include <dlfcn.h>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <network/catalogue_json.h>
#include <network/limits.h>
#include <network/evaluation.h>
#include <network/grid.h>
#include <host/library.h>
#include <network/network_text.h>
#include <network/values.h>

namespace py = pybind11;

namespace kvx::python {

// The two interfaces disagree; the message names both bit patterns.
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
    network::Paths paths = network::Paths::both;
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
    std::optional<catalogue::Value_bytes> c, cpp;
    if (network::runs_c(paths)) c = network::evaluate_c(*library_, request).value;
    if (network::runs_cpp(paths)) cpp = network::evaluate_object(*library_, request);
    if (c && cpp && std::memcmp(c->data(), cpp->data(), catalogue::width(result)) != 0)
      throw Path_mismatch(name + ": the paths differ: " + network::format_difference(result, *c, *cpp) +
                          " (an unset parameter follows each path's own rule)");
    return to_python(result, c ? *c : *cpp);
  }

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
    if (mismatch) throw Path_mismatch(network::mismatch_text(network.shader.result, *mismatch));
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
           "eval(name, path='both', gather=False, ray_type=0, state=None, render=None, camera=None, **parameters)");

  py::class_<Network>(m, "Network", "A network of the library's shaders, as the kvx-host network format writes it.")
      .def(py::init<Library const&, std::optional<std::string>, std::optional<std::filesystem::path>>(),
           py::arg("library"),
           py::arg("text") = py::none(), py::kw_only(), py::arg("file") = py::none())
      .def("add", &Network::add, py::arg("shader"), py::arg("instance"))
      .def("param", &Network::param, py::arg("target"), py::arg("value"))
      .def("connect", &Network::connect, py::arg("source"), py::arg("target"))
      .def("splat", &Network::splat, py::arg("source"), py::arg("target"))
      .def("output", &Network::output, py::arg("instance"))
      .def("shade", &Network::shade, py::arg("width"), py::arg("height"), py::arg("path") = "c",
           py::arg("threads") = 1, py::arg("geometry") = "plane");
}
