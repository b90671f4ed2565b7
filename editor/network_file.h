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
#pragma once

#include <filesystem>
#include <mutex>
#include <string>

namespace kvx::editor {

class Network_file {
 public:
  // Checks that the file can be edited: its folder exists and can be
  // written, and the file, if it is there, is a text file that can be read
  // and written. Throws std::runtime_error with a one-line message.
  explicit Network_file(std::filesystem::path const& path);

  struct Contents {
    std::string text;  // empty for a file not there
    std::string version;
    bool exists = false;
  };
  // Throws std::runtime_error when the file cannot be read or is not text.
  Contents read() const;
  std::string version() const { return read().version; }

  struct Saved {
    bool written = false;
    std::string version;  // the file's version now: the text's, or the one that kept it from being written
  };
  // Writes the text if the file is still at version `base`.
  Saved save(std::string const& text, std::string const& base);

  // As the user named it, and its file name alone.
  std::string const& shown() const { return shown_; }
  std::string name() const { return std::filesystem::path(shown_).filename().string(); }

 private:
  Contents read_unlocked() const;
  void replace(std::string const& text) const;

  std::string shown_;
  std::filesystem::path path_;  // absolute, through any symbolic link
  mutable std::mutex lock_;     // one read or save at a time
};

}  // namespace kvx::editor
