// SPDX-License-Identifier: Apache-2.0
// The network file the live editor edits: the file on disk is the truth.
//
// Every page reads it anew, with its version: a hash of the file's path and
// bytes, different for a file not there. A save names the version its edit
// started from and writes only while the file is still that version, so that
// a change made outside (another editor, a checkout) is never overwritten
// unseen. A save writes a new file beside it and renames it over the old
// one, keeping the old one's permissions: the file is always either the old
// text or the new, and nothing else in its folder changes.
//
// The page edits the text with a line feed at each line's end and no byte
// order mark; the file keeps its own form: a file whose lines all end in
// CR LF is saved so again, and a byte order mark it began with stays. A
// file that cannot be written (no write permission, for its owner or for
// the server) is read all the same and never saved over.
#pragma once

#include <filesystem>
#include <mutex>
#include <string>

#include <network/limits.h>

namespace kvx::editor {

class Network_file {
 public:
  // The most a file may hold: its text, sent back to be saved, fits the
  // server's limit on a request's body however it is escaped.
  static constexpr std::size_t max_bytes = network::max_request_bytes / 2;

  // Checks that the file can be looked at: its folder exists, and the file,
  // if it is there, is a text file within max_bytes that can be read; one
  // not there must be one the folder lets the server make. Throws
  // std::runtime_error with a one-line message.
  explicit Network_file(std::filesystem::path const& path);

  struct Contents {
    std::string text;  // as the page edits it; empty for a file not there
    std::string version;
    bool exists = false;
    std::string read_only;  // why the file cannot be saved over, or empty
  };
  // Throws std::runtime_error when the file cannot be read, is not text or
  // is over max_bytes.
  Contents read() const;
  std::string version() const { return read().version; }

  struct Saved {
    bool written = false;
    std::string version;    // the file's version now: the text's, or the one that kept it from being written
    std::string read_only;  // why nothing was written, where the file cannot be
  };
  // Writes the text, in the file's own form, if the file is still at version
  // `base` and may be written.
  Saved save(std::string const& text, std::string const& base);

  // As the user named it, and its file name alone.
  std::string const& shown() const { return shown_; }
  std::string name() const { return std::filesystem::path(shown_).filename().string(); }

 private:
  // The file's bytes and what the page edits of them.
  struct Form {
    bool byte_order_mark = false;
    bool crlf = false;  // every line ends in CR LF
  };
  Contents read_unlocked(Form* form = nullptr) const;
  std::string read_only() const;
  void replace(std::string const& text) const;

  std::string shown_;
  std::filesystem::path path_;  // absolute, through any symbolic link
  mutable std::mutex lock_;     // one read or save at a time
};

}  // namespace kvx::editor
