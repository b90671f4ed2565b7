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
  if (::access(folder.c_str(), W_OK | X_OK) != 0)
    throw refuse("the folder " + folder.string() + " cannot be written (" + reason() + ")");
  auto const status = std::filesystem::status(path_, error);
  if (std::filesystem::exists(status)) {
    if (!std::filesystem::is_regular_file(status)) throw refuse("it is not a regular file");
    if (::access(path_.c_str(), W_OK) != 0) throw refuse("it cannot be written (" + reason() + ")");
  }
  read();
}

Network_file::Contents Network_file::read() const {
  std::lock_guard hold(lock_);
  return read_unlocked();
}

Network_file::Contents Network_file::read_unlocked() const {
  std::error_code error;
  if (!std::filesystem::exists(path_, error)) return {{}, version_of(path_, nullptr), false};
  std::string text;
  try {
    text = network::Network_text::file_text(path_.string());
  } catch (network::Network_error const& e) {
    throw std::runtime_error(shown_ + ": " + e.message);
  }
  if (std::size_t const end = network::end_of_text(text); end < text.size())
    throw std::runtime_error(shown_ + ": not text: the byte " + network::printable(text.substr(end, 1)));
  std::string version = version_of(path_, &text);
  return {std::move(text), std::move(version), true};
}

Network_file::Saved Network_file::save(std::string const& text, std::string const& base) {
  std::lock_guard hold(lock_);
  std::string const now = read_unlocked().version;
  if (now != base) return {false, now};
  replace(text);
  return {true, version_of(path_, &text)};
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
