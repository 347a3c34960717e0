// Helpers for tests that run the built quillfen binary as a user or a script would: a
// fresh folder per test, and a command's exit code, output and error output.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace quillfen::cli_support {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
  double seconds = 0;
};

inline std::string shell_quoted(const std::string& s) {
  std::string q = "'";
  for (const char c : s) q += (c == '\'') ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

inline std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::vector<std::string> lines_of(const std::string& s) {
  std::vector<std::string> lines;
  std::istringstream in(s);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Runs a shell command. Standard output is read as it comes (so a long run streams);
// standard error goes through `stderr_file`.
inline Outcome run_shell(const std::string& command, const fs::path& stderr_file) {
  Outcome outcome;
  const auto started = std::chrono::steady_clock::now();
  FILE* pipe = popen((command + " 2>" + shell_quoted(stderr_file.string())).c_str(), "r");
  if (pipe == nullptr) return outcome;
  std::string buffer(1 << 16, '\0');
  for (std::size_t n; (n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) outcome.out.append(buffer, 0, n);
  const int status = pclose(pipe);
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  outcome.err = slurp(stderr_file);
  return outcome;
}

// A fixture with a fresh temporary folder, removed after the test.
class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "quillfen-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path write(const std::string& name, const std::string& content) const {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  fs::path dir_;
};

}  // namespace quillfen::cli_support
