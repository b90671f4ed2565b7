// SPDX-License-Identifier: Apache-2.0
#include <editor/network_file.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string_view>
#include <utility>

#include <network/network_text.h>
#include <network/printable.h>

namespace kvx::editor {
namespace {

std::string hex(std::size_t hash) {
  char digits[2 * sizeof hash + 1];
  std::snprintf(digits, sizeof digits, "%016zx", hash);
  return digits;
}

// The path's hash, then the bytes' hash and count, or "absent": a page of
// one file never takes another's version for its own.
std::string version_of(std::filesystem::path const& path, std::string const* text) {
  std::string version = hex(std::hash<std::string>{}(path.string()));
  if (!text) return version + "-absent";
  return version + "-" + hex(std::hash<std::string_view>{}(*text)) + "-" + std::to_string(text->size());
}

std::string reason() { return std::strerror(errno); }

constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";

// Every line break a CR LF, and at least one.
bool all_crlf(std::string_view text) {
  std::size_t breaks = 0;
  for (std::size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n', at + 1), ++breaks)
    if (at == 0 || text[at - 1] != '\r') return false;
  return breaks > 0;
}

std::string without_cr(std::string_view text) {
  std::string lines;
  lines.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n') lines += text[i];
  return lines;
}

std::string with_crlf(std::string_view text) {
  std::string lines;
  lines.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') lines += '\r';
    lines += c;
  }
  return lines;
}

// A file being written beside the network, removed unless it was renamed.
struct Temporary {
  ~Temporary() {
    if (descriptor >= 0) ::close(descriptor);
    if (!renamed) ::unlink(path.c_str());
  }
  std::string path;
  int descriptor = -1;
  bool renamed = false;
};

}  // namespace

Network_file::Network_file(std::filesystem::path const& path) : shown_(path.string()) {
  auto const refuse = [&](std::string const& why) { return std::runtime_error("cannot edit " + shown_ + ": " + why); };
  if (path.filename().empty()) throw refuse("that names a folder, not a file");
  std::error_code error;
  path_ = std::filesystem::weakly_canonical(std::filesystem::absolute(path), error);
  if (error) path_ = std::filesystem::absolute(path);
  auto const folder = path_.parent_path();
  if (!std::filesystem::is_directory(folder, error)) throw refuse("the folder " + folder.string() + " does not exist");
  auto const status = std::filesystem::status(path_, error);
  if (std::filesystem::exists(status)) {
    if (!std::filesystem::is_regular_file(status)) throw refuse("it is not a regular file");
  } else if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    throw refuse("the folder " + folder.string() + " cannot be written (" + reason() + ")");
  }
  read();
}

// Why the file cannot be saved over: no write permission for anyone (which
// the superuser would ignore), none for the server, or a folder in which it
// cannot be replaced.
std::string Network_file::read_only() const {
  struct stat status {};
  if (::stat(path_.c_str(), &status) == 0) {
    if ((status.st_mode & 0222) == 0) return name() + " is read-only";
    if (::access(path_.c_str(), W_OK) != 0) return name() + " cannot be written (" + reason() + ")";
  }
  auto const folder = path_.parent_path();
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return "the folder " + folder.string() + " cannot be written";
  return {};
}

Network_file::Contents Network_file::read() const {
  std::lock_guard hold(lock_);
  return read_unlocked();
}

Network_file::Contents Network_file::read_unlocked(Form* form) const {
  std::error_code error;
  if (!std::filesystem::exists(path_, error)) return {{}, version_of(path_, nullptr), false, read_only()};
  std::string bytes;
  try {
    bytes = network::Network_text::file_text(path_.string());
  } catch (network::Network_error const& e) {
    throw std::runtime_error(shown_ + ": " + e.message);
  }
  if (bytes.size() > max_bytes)
    throw std::runtime_error(shown_ + " holds " + std::to_string(bytes.size()) + " bytes, more than the editor's " +
                             std::to_string(max_bytes >> 20) + " MiB");
  Form found;
  std::string_view text = bytes;
  found.byte_order_mark = text.starts_with(byte_order_mark);
  if (found.byte_order_mark) text.remove_prefix(byte_order_mark.size());
  found.crlf = all_crlf(text);
  std::string edited = found.crlf ? without_cr(text) : std::string(text);
  if (std::size_t const end = network::end_of_text(edited); end < edited.size())
    throw std::runtime_error(shown_ + ": not text: the byte " + network::printable(edited.substr(end, 1)));
  if (form) *form = found;
  return {std::move(edited), version_of(path_, &bytes), true, read_only()};
}

Network_file::Saved Network_file::save(std::string const& text, std::string const& base) {
  std::lock_guard hold(lock_);
  Form form;
  Contents const now = read_unlocked(&form);
  if (now.version != base) return {false, now.version, {}};
  if (!now.read_only.empty()) return {false, now.version, now.read_only};
  std::string bytes = form.byte_order_mark ? std::string(byte_order_mark) : std::string();
  bytes += form.crlf ? with_crlf(text) : text;
  replace(bytes);
  return {true, version_of(path_, &bytes), {}};
}

void Network_file::replace(std::string const& text) const {
  auto const folder = path_.parent_path();
  std::string hidden = ".";
  hidden.append(path_.filename().string()).append(".").append(std::to_string(::getpid())).append("-");
  Temporary temporary;
  for (unsigned n = 0; temporary.descriptor < 0; ++n) {
    temporary.path = (folder / (hidden + std::to_string(n) + ".saving")).string();
    temporary.descriptor = ::open(temporary.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (temporary.descriptor < 0 && (errno != EEXIST || n == 100)) {
      temporary.renamed = true;  // nothing made, nothing to remove
      throw std::runtime_error("cannot write in " + folder.string() + ": " + reason());
    }
  }
  // The file keeps its permissions, and its owner where the server may give
  // it; where it may not, the text is saved all the same.
  if (struct stat old; ::stat(path_.c_str(), &old) == 0) {
    ::fchmod(temporary.descriptor, old.st_mode & 07777);
    if (::fchown(temporary.descriptor, old.st_uid, old.st_gid) != 0) errno = 0;
  }
  for (std::size_t written = 0; written < text.size();) {
    ssize_t const n = ::write(temporary.descriptor, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw std::runtime_error("cannot write " + temporary.path + ": " + reason());
    written += static_cast<std::size_t>(n);
  }
  // On disk before it takes the file's place, so that a crash leaves one whole text.
  if (::fsync(temporary.descriptor) != 0 || ::close(std::exchange(temporary.descriptor, -1)) != 0)
    throw std::runtime_error("cannot write " + temporary.path + ": " + reason());
  if (::rename(temporary.path.c_str(), path_.c_str()) != 0)
    throw std::runtime_error("cannot replace " + shown_ + ": " + reason());
  temporary.renamed = true;
  if (int const directory = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); directory >= 0) {
    ::fsync(directory);
    ::close(directory);
  }
}

}  // namespace kvx::editor
