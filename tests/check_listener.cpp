// SPDX-License-Identifier: Apache-2.0
// Against the checked plug-in, every test must leave no finding unless it
// hands the library a mistake on purpose and says so (mistakes_on_purpose).
// The findings go to a file of this process's; a test that leaves one
// unannounced is named with its lines, and the run fails.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "support.h"

namespace kvx::test {
namespace {

bool on_purpose = false;

class Check_listener final : public ::testing::EmptyTestEventListener {
 public:
  void OnTestProgramStart(::testing::UnitTest const&) override {
    path_ = (std::filesystem::temp_directory_path() / ("kvx-check-" + std::to_string(::getpid()) + ".log")).string();
    std::filesystem::remove(path_);
    ::setenv("KVX_CHECK_LOG", path_.c_str(), 1);
  }
  void OnTestStart(::testing::TestInfo const&) override {
    on_purpose = false;
    seen_ = size();
  }
  void OnTestEnd(::testing::TestInfo const& test) override {
    std::uintmax_t const now = size();
    if (now == seen_ || on_purpose) return;
    std::ifstream log(path_);
    log.seekg(static_cast<std::streamoff>(seen_));
    std::stringstream lines;
    lines << log.rdbuf();
    std::fprintf(stderr, "%s.%s left findings it did not announce:\n%s", test.test_suite_name(), test.name(),
                 lines.str().c_str());
    unannounced_ = true;
  }
  void OnTestProgramEnd(::testing::UnitTest const&) override {
    std::filesystem::remove(path_);
    if (!unannounced_) return;
    std::fflush(nullptr);
    std::_Exit(1);
  }

 private:
  std::uintmax_t size() const {
    std::error_code error;
    std::uintmax_t const bytes = std::filesystem::file_size(path_, error);
    return error ? 0 : bytes;
  }
  std::string path_;
  std::uintmax_t seen_ = 0;
  bool unannounced_ = false;
};

bool const registered = [] {
  if (!checked_suite()) return false;
  ::testing::UnitTest::GetInstance()->listeners().Append(new Check_listener);
  return true;
}();

}  // namespace

void mistakes_on_purpose() { on_purpose = true; }

bool checked_suite() {
  char const* on = std::getenv("KVX_CHECKED_SUITE");
  return on && *on;
}

}  // namespace kvx::test
