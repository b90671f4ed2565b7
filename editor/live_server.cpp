#include <editor/live_server.h>

#include <httplib.h>

#include <fstream>
#include <mutex>
#include <stdexcept>
#include <stop_token>
#include <system_error>

#include <editor/live_shading.h>
#include <editor/page.h>
#include <network/catalogue_json.h>

namespace kvx::editor {
namespace {

constexpr std::size_t connection_threads = 16;

// A request the server refuses, with its status and message.
struct Refusal : std::runtime_error {
  Refusal(int status, std::string const& message) : std::runtime_error(message), status(status) {}
  int status;
};

// The charset keeps the answer as it is: the HTTP library compresses plain
// "application/json" for browsers, slowly, for nothing on a local connection.
void answer_json(httplib::Response& response, host::Json const& body, int status = 200) {
  response.status = status;
  response.set_content(body.dump(), "application/json; charset=utf-8");
}

void refuse(httplib::Response& response, Refusal const& refusal) {
  answer_json(response, {{"ok", false}, {"error", refusal.what()}}, refusal.status);
}

// A picture as the page reads it: the length of the JSON that describes it
// (32 bits, little-endian), that JSON, spaces to a multiple of four bytes, and
// the float32 components. Binary, so that nothing encodes or compresses the
// floats on the way.
void answer_picture(httplib::Response& response, Picture const& picture) {
  std::string about = picture.about.dump();
  about.append((4 - (about.size() + 4) % 4) % 4, ' ');
  auto const length = static_cast<std::uint32_t>(about.size());
  std::string body;
  body.reserve(4 + about.size() + picture.pixels.size() * sizeof(float));
  for (int shift = 0; shift < 32; shift += 8) body += static_cast<char>(length >> shift & 0xff);
  body += about;
  body.append(reinterpret_cast<char const*>(picture.pixels.data()), picture.pixels.size() * sizeof(float));
  response.set_content(std::move(body), "application/octet-stream");
}

host::Json parse_body(httplib::Request const& request) {
  if (request.get_header_value("Content-Type").find("application/json") == std::string::npos)
    throw Refusal{415, "the body must be JSON (Content-Type: application/json)"};
  host::Json body = host::Json::parse(request.body, nullptr, false);
  if (body.is_discarded()) throw Refusal{400, "the body is not valid JSON"};
  if (!body.is_object()) throw Refusal{400, "the body must be a JSON object"};
  return body;
}

std::string text_member(host::Json const& body, char const* name) {
  auto const it = body.find(name);
  if (it == body.end() || !it->is_string()) throw Refusal{400, std::string("'") + name + "' must be a string"};
  return it->get<std::string>();
}

unsigned index_member(host::Json const& body, char const* name, unsigned below) {
  auto const it = body.find(name);
  if (it == body.end() || !it->is_number_unsigned() || it->get<std::uint64_t>() >= below)
    throw Refusal{400, std::string("'") + name + "' must be a whole number from 0 to " + std::to_string(below - 1)};
  return it->get<unsigned>();
}

unsigned count_member(host::Json const& body, char const* name, unsigned fallback, unsigned limit) {
  auto const it = body.find(name);
  if (it == body.end()) return fallback;
  if (!it->is_number_unsigned() || it->get<std::uint64_t>() < 1 || it->get<std::uint64_t>() > limit)
    throw Refusal{400, std::string("'") + name + "' must be a whole number from 1 to " + std::to_string(limit)};
  return it->get<unsigned>();
}

}  // namespace

struct Live_server::State {
  State(host::Library const& library, Server_options options) : library(library), options(std::move(options)) {}

  host::Library const& library;
  Server_options options;
  httplib::Server server;
  int port = 0;

  std::mutex shading;              // guards newest
  std::stop_source newest;         // the shading request running last
  std::mutex saving;               // guards the file and options.text

  // The shading request a body describes, checked.
  Shade_request shade_request(host::Json const& body) const {
    Shade_request request;
    request.text = text_member(body, "text");
    request.source = options.file ? options.file->filename().string() : "network";
    if (auto it = body.find("instance"); it != body.end() && !it->is_null()) request.instance = text_member(body, "instance");
    if (auto it = body.find("path"); it != body.end()) {
      auto const paths = it->is_string() ? host::parse_paths(it->get<std::string>()) : std::nullopt;
      if (!paths) throw Refusal{400, std::string("'path' takes ") + host::paths_choices};
      request.paths = *paths;
    }
    request.grid = {count_member(body, "width", options.grid.width, max_grid),
                    count_member(body, "height", options.grid.height, max_grid)};
    request.threads = options.threads;
    return request;
  }

  // Only the server's own address may ask: a page elsewhere cannot drive it.
  std::optional<Refusal> foreign(httplib::Request const& request) const {
    std::string const own = options.bind + ":" + std::to_string(port);
    std::string const local = "localhost:" + std::to_string(port);
    auto const host = request.get_header_value("Host");
    bool const loopback = options.bind == "127.0.0.1";
    if (host != own && !(loopback && host == local))
      return Refusal{403, "the Host '" + host + "' is not this server's " + own};
    if (request.has_header("Origin")) {
      auto const origin = request.get_header_value("Origin");
      if (origin != "http://" + own && !(loopback && origin == "http://" + local))
        return Refusal{403, "requests from '" + origin + "' are refused: only this server's own page may ask"};
    }
    return std::nullopt;
  }

  void routes() {
    for (auto const& file : page_files())
      server.Get(std::string(file.path), [&file](httplib::Request const&, httplib::Response& response) {
        response.set_content(std::string(file.body), std::string(file.type));
      });
    server.Get("/api/catalogue", [this](httplib::Request const&, httplib::Response& response) {
      host::Json document = {{"schema", "kvx-host/list/1"},
                             {"library", std::filesystem::path(library.path()).filename().string()},
                             {"shaders", host::Json::array()}};
      for (auto const& row : catalogue::shaders) document["shaders"].push_back(host::shader_json(row));
      answer_json(response, document);
    });
    server.Get("/api/network", [this](httplib::Request const&, httplib::Response& response) {
      std::lock_guard hold(saving);  // the text last saved, for a page loaded again
      answer_json(response, {{"text", options.text},
                             {"file", options.file ? host::Json(options.file->filename().string()) : host::Json()},
                             {"width", options.grid.width},
                             {"height", options.grid.height},
                             {"threads", options.threads}});
    });
    server.Post("/api/shade", [this](httplib::Request const& request, httplib::Response& response) {
      Shade_request const asked = shade_request(parse_body(request));
      std::stop_token stop;
      {
        // A newer request abandons the one still running.
        std::lock_guard hold(shading);
        newest.request_stop();
        newest = std::stop_source();
        stop = newest.get_token();
      }
      auto const picture = shade(library, asked, stop);
      if (!picture) throw Refusal{409, "abandoned: a newer shading request arrived"};
      if (picture->pixels.empty()) return answer_json(response, picture->about);
      answer_picture(response, *picture);
    });
    server.Post("/api/point", [this](httplib::Request const& request, httplib::Response& response) {
      host::Json const body = parse_body(request);
      Shade_request const asked = shade_request(body);
      unsigned const x = index_member(body, "x", asked.grid.width);
      unsigned const y = index_member(body, "y", asked.grid.height);
      answer_json(response, point(library, asked, x, y));
    });
    server.Post("/api/save", [this](httplib::Request const& request, httplib::Response& response) {
      std::string const text = text_member(parse_body(request), "text");
      if (!options.file) throw Refusal{409, "no file was named when the server started: download the text instead"};
      save(text);
      answer_json(response, {{"ok", true}, {"file", options.file->filename().string()}, {"bytes", text.size()}});
    });
  }

  // A temporary file beside the network, renamed over it: the file is
  // always either the old text or the new.
  void save(std::string const& text) {
    std::lock_guard hold(saving);
    auto const target = *options.file;
    std::string hidden = ".";
    hidden.append(target.filename().string()).append(".saving");
    auto const temporary = target.parent_path() / hidden;
    {
      std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
      out << text;
      out.close();
      if (!out) throw Refusal{500, "cannot write " + temporary.string()};
    }
    std::error_code error;
    std::filesystem::rename(temporary, target, error);
    if (error) {
      std::filesystem::remove(temporary, error);
      throw Refusal{500, "cannot replace " + target.string()};
    }
    options.text = text;
  }
};

Live_server::Live_server(host::Library const& library, Server_options options)
    : state_(std::make_unique<State>(library, std::move(options))) {
  auto& s = *state_;
  s.server.set_payload_max_length(max_body);
  // A browser keeps its connections open, each holding a thread while it
  // waits: enough threads that the page's own never wait on each other.
  s.server.new_task_queue = [] { return new httplib::ThreadPool(connection_threads); };
  s.server.set_pre_routing_handler([&s](httplib::Request const& request, httplib::Response& response) {
    if (auto refusal = s.foreign(request)) {
      refuse(response, *refusal);
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  s.server.set_exception_handler([](httplib::Request const&, httplib::Response& response, std::exception_ptr e) {
    try {
      std::rethrow_exception(e);
    } catch (Refusal const& refusal) {
      refuse(response, refusal);
    } catch (std::exception const& error) {
      refuse(response, {500, error.what()});
    } catch (...) {
      refuse(response, {500, "an unknown error"});
    }
  });
  s.server.set_error_handler([](httplib::Request const& request, httplib::Response& response) {
    if (!response.body.empty()) return;
    std::string message = "no such route: " + request.method + " " + request.path;
    if (response.status == 413)
      message = "the body is over the limit of " + std::to_string(max_body >> 20) + " MiB";
    else if (response.status != 404)
      message = "the request is malformed (" + std::to_string(response.status) + ")";
    refuse(response, {response.status, message});
  });
  s.routes();
  s.port = s.options.port == 0 ? s.server.bind_to_any_port(s.options.bind)
                               : (s.server.bind_to_port(s.options.bind, s.options.port) ? s.options.port : -1);
  if (s.port <= 0)
    throw std::runtime_error("cannot listen on " + s.options.bind + ":" + std::to_string(s.options.port));
}

Live_server::~Live_server() = default;

std::string Live_server::address() const {
  return "http://" + state_->options.bind + ":" + std::to_string(state_->port) + "/";
}

void Live_server::run() { state_->server.listen_after_bind(); }

void Live_server::stop() { state_->server.stop(); }

}  // namespace kvx::editor
