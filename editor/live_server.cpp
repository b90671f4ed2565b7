// SPDX-License-Identifier: Apache-2.0
#include <editor/live_server.h>

#include <malloc.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>
#include <stop_token>
#include <string_view>

#include <editor/http_server.h>
#include <editor/live_shading.h>
#include <editor/network_file.h>
#include <editor/picture_budget.h>
#include <image/exr.h>
#include <editor/page.h>
#include <editor/refusal.h>
#include <network/catalogue_json.h>
#include <network/limits.h>

namespace kvx::editor {
namespace {

// The charset keeps the answer as it is: the HTTP library compresses plain
// "application/json" for browsers, slowly, for nothing on a local connection.
void answer_json(httplib::Response& response, network::Json const& body, int status = 200) {
  response.status = status;
  response.set_content(body.dump(), "application/json; charset=utf-8");
}

// A file of the page as it was built in: compressed at build time where the
// browser takes gzip, not again per request; validated by its ETag, so that
// a page loaded again costs a 304.
void answer_page_file(httplib::Request const& request, httplib::Response& response, Page_file const& file) {
  response.set_header("ETag", std::string(file.etag));
  response.set_header("Cache-Control", "no-cache");
  response.set_header("Vary", "Accept-Encoding");
  if (request.get_header_value("If-None-Match") == file.etag) {
    response.status = 304;
    return;
  }
  std::string const accepted = request.get_header_value("Accept-Encoding");
  bool const gzip = accepted.find("gzip") != std::string::npos && accepted.find("gzip;q=0") == std::string::npos;
  std::string_view const body = gzip ? file.gzip : file.body;
  if (gzip) response.set_header("Content-Encoding", "gzip");
  // A provider's answer goes as it is: the HTTP library compresses only what is set as content.
  response.set_content_provider(body.size(), std::string(file.type),
                                [body](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                  sink.write(body.data() + offset, std::min(length, body.size() - offset));
                                  return true;
                                });
}

void refuse(httplib::Response& response, Refusal const& refusal) {
  answer_json(response, {{"ok", false}, {"error", refusal.what()}}, refusal.status);
}

// A picture as the page reads it: the length of the JSON that describes it
// (32 bits, little-endian), that JSON, spaces to a multiple of four bytes,
// the float32 components, the byte a point that marks where the paths
// differ, if any do, and on the sphere the byte a point that marks it. Binary, so that nothing encodes or compresses the floats
// on the way; sent from where they lie, not copied.
void answer_picture(httplib::Response& response, Picture picture) {
  std::string about = picture.about.dump();
  about.append((4 - (about.size() + 4) % 4) % 4, ' ');
  auto const length = static_cast<std::uint32_t>(about.size());
  struct Body {
    std::string head;
    Picture picture;
  };
  auto body = std::make_shared<Body>(Body{{}, std::move(picture)});
  for (int shift = 0; shift < 32; shift += 8) body->head += static_cast<char>(length >> shift & 0xff);
  body->head += about;
  std::size_t const size =
      body->head.size() + body->picture.pixels.size() * sizeof(float) + body->picture.differs.size() +
      body->picture.covered.size();
  response.set_content_provider(
      size, "application/octet-stream", [body](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
        std::pair<char const*, std::size_t> const parts[] = {
            {body->head.data(), body->head.size()},
            {reinterpret_cast<char const*>(body->picture.pixels.data()), body->picture.pixels.size() * sizeof(float)},
            {reinterpret_cast<char const*>(body->picture.differs.data()), body->picture.differs.size()},
            {reinterpret_cast<char const*>(body->picture.covered.data()), body->picture.covered.size()}};
        for (auto const& [bytes, count] : parts) {
          if (offset < count) return sink.write(bytes + offset, std::min(count - offset, length));
          offset -= count;
        }
        return false;
      });
}

// Arrays and objects inside one another at most this deep: the page sends
// three levels; a parser's memory for a body nested to its full size would
// be many times the body's.
constexpr unsigned max_json_depth = 32;

// How deep the body's arrays and objects lie, strings skipped; counting stops past `most`.
unsigned json_depth(std::string_view text, unsigned most) {
  unsigned depth = 0, deepest = 0;
  bool in_string = false;
  for (std::size_t i = 0; i < text.size() && deepest <= most; ++i) {
    char const c = text[i];
    if (in_string) {
      if (c == '\\') ++i;
      else if (c == '"') in_string = false;
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return deepest;
}

network::Json parse_body(httplib::Request const& request) {
  if (request.get_header_value("Content-Type").find("application/json") == std::string::npos)
    throw Refusal{415, "the body must be JSON (Content-Type: application/json)"};
  if (json_depth(request.body, max_json_depth) > max_json_depth)
    throw Refusal{400, "the body's JSON is nested more than " + std::to_string(max_json_depth) + " deep"};
  network::Json body = network::Json::parse(request.body, nullptr, false);
  if (body.is_discarded()) throw Refusal{400, "the body is not valid JSON"};
  if (!body.is_object()) throw Refusal{400, "the body must be a JSON object"};
  return body;
}

std::string text_member(network::Json const& body, char const* name) {
  auto const it = body.find(name);
  if (it == body.end() || !it->is_string()) throw Refusal{400, std::string("'") + name + "' must be a string"};
  return it->get<std::string>();
}

unsigned index_member(network::Json const& body, char const* name, unsigned below) {
  auto const it = body.find(name);
  if (it == body.end() || !it->is_number_unsigned() || it->get<std::uint64_t>() >= below)
    throw Refusal{400, std::string("'") + name + "' must be a whole number from 0 to " + std::to_string(below - 1)};
  return it->get<unsigned>();
}

// The most instances one thumbnails request shades: a graph's view.
constexpr std::size_t max_thumbnails = 256;

unsigned count_member(network::Json const& body, char const* name, unsigned fallback, unsigned limit) {
  auto const it = body.find(name);
  if (it == body.end()) return fallback;
  if (!it->is_number_unsigned() || it->get<std::uint64_t>() < 1 || it->get<std::uint64_t>() > limit)
    throw Refusal{400, std::string("'") + name + "' must be a whole number from 1 to " + std::to_string(limit)};
  return it->get<unsigned>();
}

// A route that matches its path and nothing else: the HTTP library takes
// routes as regular expressions, where "/editor.js" would match "/editorXjs".
std::string exactly(std::string_view path) {
  std::string pattern;
  for (char c : path) {
    if (std::strchr("\\^$.|?*+()[]{}", c)) pattern += '\\';
    pattern += c;
  }
  return pattern;
}

}  // namespace

struct Live_server::State {
  State(host::Library const& library, Server_options options)
      : library(library),
        options(std::move(options)),
        file(this->options.file ? std::optional<Network_file>(std::in_place, *this->options.file) : std::nullopt) {}

  host::Library const& library;
  Server_options options;
  std::string const catalogue = network::catalogue_document(library).dump();  // of the plug-ins loaded
  std::optional<Network_file> file;
  Http_server server;
  int port = 0;
  Picture_budget pictures{options.picture_memory};

  // The shading request each page has running: a page's newer request
  // abandons its older one, and no other page's.
  std::mutex shading;
  std::map<std::string, std::stop_source> running;

  class Running {
   public:
    Running(State& state, std::optional<std::string> page) : state_(state), page_(std::move(page)) {
      if (!page_) return;
      std::lock_guard hold(state_.shading);
      auto [it, fresh] = state_.running.try_emplace(*page_, source_);
      if (!fresh) {
        it->second.request_stop();
        it->second = source_;
      }
    }
    ~Running() {
      if (!page_) return;
      std::lock_guard hold(state_.shading);
      if (auto it = state_.running.find(*page_); it != state_.running.end() && it->second == source_)
        state_.running.erase(it);
    }
    Running(Running const&) = delete;
    Running& operator=(Running const&) = delete;
    std::stop_token token() const { return source_.get_token(); }

   private:
    State& state_;
    std::optional<std::string> page_;
    std::stop_source source_;
  };

  // The shading request a body describes, checked.
  Shade_request shade_request(network::Json const& body) const {
    Shade_request request;
    request.text = text_member(body, "text");
    request.source = file ? file->name() : "network";
    if (auto it = body.find("instance"); it != body.end() && !it->is_null())
      request.instance = text_member(body, "instance");
    if (auto it = body.find("path"); it != body.end()) {
      auto const paths = it->is_string() ? network::parse_paths(it->get<std::string>()) : std::nullopt;
      if (!paths) throw Refusal{400, std::string("'path' takes ") + network::paths_choices};
      request.paths = *paths;
    }
    request.grid = {count_member(body, "width", options.grid.width, network::max_grid_side),
                    count_member(body, "height", options.grid.height, network::max_grid_side)};
    if (auto it = body.find("geometry"); it != body.end()) {
      auto const geometry = it->is_string() ? network::parse_geometry(it->get<std::string>()) : std::nullopt;
      if (!geometry) throw Refusal{400, "'geometry' takes plane or sphere"};
      request.grid.geometry = *geometry;
    }
    request.threads = options.threads;
    request.max_picture_bytes = network::max_picture_bytes;
    return request;
  }

  // Which page asks, if it says: its newer request abandons this one.
  static std::optional<std::string> page_member(network::Json const& body) {
    auto const it = body.find("page");
    if (it == body.end() || it->is_null()) return std::nullopt;
    if (!it->is_string() || it->get<std::string>().size() > 100)
      throw Refusal{400, "'page' must be a string of at most 100 bytes"};
    return it->get<std::string>();
  }

  // The file's name, version and whether it is there; with its text and the
  // server's settings for a page that starts.
  network::Json network_json(bool with_text) const {
    network::Json about = {{"file", nullptr}, {"version", nullptr}, {"exists", false}};
    std::string text;
    if (file) {
      Network_file::Contents contents = file->read();
      about["file"] = file->name();
      about["version"] = contents.version;
      about["exists"] = contents.exists;
      about["read_only"] = contents.read_only.empty() ? network::Json(nullptr) : network::Json(contents.read_only);
      text = std::move(contents.text);
    }
    if (!with_text) return about;
    about["text"] = std::move(text);
    about["width"] = options.grid.width;
    about["height"] = options.grid.height;
    about["threads"] = options.threads;
    about["limits"] = {{"grid_side", network::max_grid_side},
                       {"request_bytes", network::max_request_bytes},
                       {"file_bytes", Network_file::max_bytes}};
    return about;
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

  // The picture a body asks for (no pixels for a text that does not shade);
  // 409 when abandoned.
  Picture shaded(network::Json const& body, Shade_request const& asked) {
    Running const running(*this, page_member(body));
    // Its share of the picture memory, taken before it shades: the most a
    // point can hold (four floats, the paths' and the sphere's bytes), or
    // the whole, which such a picture then has alone.
    std::size_t const share = std::min<std::size_t>(std::size_t{asked.grid.width} * asked.grid.height * 18,
                                                      pictures.bytes());
    Picture_budget::Share memory = pictures.take(share, running.token());
    if (!memory) throw Refusal{409, "abandoned: the page sent a newer request, or went away"};
    // A client that has gone, the page closed or its request abandoned, wants nothing more.
    auto picture = shade(library, asked, running.token(), [] { return !Http_server::client_gone(); });
    if (!picture) throw Refusal{409, "abandoned: the page sent a newer request, or went away"};
    picture->memory = std::move(memory);
    return std::move(*picture);
  }

  void routes() {
    for (auto const& page_file : page_files())
      server.Get(exactly(page_file.path), [&page_file](httplib::Request const& request, httplib::Response& response) {
        answer_page_file(request, response, page_file);
      });
    // What a large body left in this thread's heap goes back to the system.
    server.set_post_routing_handler([](httplib::Request const& request, httplib::Response&) {
      if (request.body.size() > (std::size_t{1} << 20)) ::malloc_trim(0);
    });
    server.Get("/api/catalogue", [this](httplib::Request const&, httplib::Response& response) {
      response.set_content(catalogue, "application/json; charset=utf-8");
    });
    server.Get("/api/network", [this](httplib::Request const&, httplib::Response& response) {
      answer_json(response, network_json(true));
    });
    server.Get("/api/file", [this](httplib::Request const&, httplib::Response& response) {
      answer_json(response, network_json(false));
    });
    server.Post("/api/shade", [this](httplib::Request const& request, httplib::Response& response) {
      network::Json const body = parse_body(request);
      Picture picture = shaded(body, shade_request(body));
      if (picture.pixels.empty()) return answer_json(response, picture.about);
      answer_picture(response, std::move(picture));
    });
    // The picture as kvx-host shade writes it to an EXR: the exact floats.
    server.Post("/api/exr", [this](httplib::Request const& request, httplib::Response& response) {
      network::Json const body = parse_body(request);
      Shade_request const asked = shade_request(body);
      Picture const picture = shaded(body, asked);
      if (picture.pixels.empty()) return answer_json(response, picture.about);
      unsigned const channels = picture.about["channels"];
      response.set_content(image::exr_bytes(asked.grid.width, asked.grid.height, channels, picture.pixels),
                           "image/x-exr");
      response.set_header("Content-Disposition", "attachment; filename=\"" +
                                                     picture.about["instance"].get<std::string>() + ".exr\"");
    });
    // Small pictures of the instances a graph shows, in one request.
    server.Post("/api/thumbnails", [this](httplib::Request const& request, httplib::Response& response) {
      network::Json const body = parse_body(request);
      Shade_request const asked = shade_request(body);
      std::vector<std::string> names;
      if (auto it = body.find("instances"); it != body.end() && it->is_array())
        for (auto const& name : *it)
          if (name.is_string()) names.push_back(name.get<std::string>());
      if (names.size() > max_thumbnails) throw Refusal{400, "at most " + std::to_string(max_thumbnails) + " instances"};
      unsigned const size = count_member(body, "size", 24, 64);
      Running const running(*this, page_member(body));
      auto picture = thumbnails(library, asked, names, size, running.token());
      if (!picture) throw Refusal{409, "abandoned: the page sent a newer request, or went away"};
      if (picture->pixels.empty()) return answer_json(response, picture->about);
      answer_picture(response, std::move(*picture));
    });
    server.Post("/api/point", [this](httplib::Request const& request, httplib::Response& response) {
      network::Json const body = parse_body(request);
      Shade_request const asked = shade_request(body);
      unsigned const x = index_member(body, "x", asked.grid.width);
      unsigned const y = index_member(body, "y", asked.grid.height);
      answer_json(response, point(library, asked, x, y));
    });
    server.Post("/api/save", [this](httplib::Request const& request, httplib::Response& response) {
      network::Json const body = parse_body(request);
      std::string const text = text_member(body, "text");
      if (!file) throw Refusal{409, "no file was named when the server started: download the text instead"};
      std::string const base = text_member(body, "base");
      auto const saved = file->save(text, base);
      if (!saved.written && !saved.read_only.empty())
        return answer_json(response,
                           {{"ok", false}, {"error", saved.read_only + ": nothing was written"}, {"version", saved.version}},
                           403);
      if (!saved.written)
        return answer_json(response,
                           {{"ok", false},
                            {"conflict", true},
                            {"error", file->name() + " has changed on disk since this text was read from it: "
                                                     "nothing was written"},
                            {"version", saved.version}},
                           409);
      answer_json(response, {{"ok", true}, {"file", file->name()}, {"bytes", text.size()}, {"version", saved.version}});
    });
  }

  void listen() {
    port = server.bind_exclusively(options.bind, options.port);
    if (port > 0) return;
    int const error = errno;
    std::string message = "cannot listen on " + options.bind + ":" + std::to_string(options.port);
    if (error == EADDRINUSE)
      message += ": the port is taken (by another kvx-host serve?); --port 0 takes a free one";
    else if (error != 0)
      message += std::string(": ") + std::strerror(error);
    throw std::runtime_error(message);
  }
};

Live_server::Live_server(host::Library const& library, Server_options options)
    : state_(std::make_unique<State>(library, std::move(options))) {
  auto& s = *state_;
  s.server.set_payload_max_length(network::max_request_bytes);
  s.server.set_pre_routing_handler([&s](httplib::Request const& request, httplib::Response& response) {
    // Before the body is read. One whose length is given two ways would be
    // read by one of them: the rest of the connection cannot be trusted to
    // hold requests.
    auto const lengths = request.headers.equal_range("Content-Length");
    bool const conflicting = std::any_of(lengths.first, lengths.second,
                                         [&](auto const& header) { return header.second != lengths.first->second; }) ||
                             (lengths.first != lengths.second && request.has_header("Transfer-Encoding"));
    if (conflicting) {
      Http_server::close_after_answer();
      refuse(response, {400, "the request gives its body's length two ways"});
      return httplib::Server::HandlerResponse::Handled;
    }
    if (auto refusal = s.foreign(request)) {
      Http_server::close_after_answer();  // refused before its body was read
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
    // Refused before its end was read (malformed, or its body too large):
    // what follows on the connection is no request.
    if (response.status != 404) Http_server::close_after_answer();
    std::string message = "no such route: " + request.method + " " + request.path;
    if (response.status == 413)
      message = "the body is over the limit of " + std::to_string(network::max_request_bytes >> 20) + " MiB";
    else if (response.status != 404)
      message = "the request is malformed (" + std::to_string(response.status) + ")";
    refuse(response, {response.status, message});
  });
  s.routes();
  s.listen();
}

Live_server::~Live_server() = default;

std::string Live_server::address() const {
  return "http://" + state_->options.bind + ":" + std::to_string(state_->port) + "/";
}

void Live_server::run() { state_->server.listen_after_bind(); }


}  // namespace kvx::editor
