#include "chromium/fd.hpp"

#include <unistd.h>

namespace quillfen::chromium {

void UniqueFd::reset(int fd) {
  if (fd_ >= 0) {
    ::close(fd_);
  }
  fd_ = fd;
}

}  // namespace quillfen::chromium
