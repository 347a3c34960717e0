#include "chromium/fd.hpp"

#include <array>
#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace quillfen::chromium {

void UniqueFd::reset(int fd) {
  if (fd_ >= 0) {
    ::close(fd_);
  }
  fd_ = fd;
}

std::string read_file_or_empty(const std::filesystem::path& path) {
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  std::string content;
  if (!fd.valid()) return content;
  std::array<char, 4096> buffer{};
  while (true) {
    const ssize_t n = ::read(fd.get(), buffer.data(), buffer.size());
    if (n > 0) {
      content.append(buffer.data(), static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      return content;
    }
  }
}

}  // namespace quillfen::chromium
