// An owned file descriptor, closed on destruction, and a read of a small file that
// never throws.
#pragma once

#include <filesystem>
#include <string>
#include <utility>

namespace quillfen::chromium {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      reset(std::exchange(other.fd_, -1));
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }
  void reset(int fd = -1);

 private:
  int fd_ = -1;
};

// The whole content of a small file such as /proc/PID/cmdline, or what was read of it
// before a read failed ("" when it cannot be opened). A process may end while its /proc
// files are read, which makes read() fail with ESRCH; a file stream would throw there.
std::string read_file_or_empty(const std::filesystem::path& path);

}  // namespace quillfen::chromium
