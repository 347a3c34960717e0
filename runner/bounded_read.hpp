// Reading a whole input file with a bound on its size, so that /dev/zero, a FIFO that
// never ends or a huge file is refused instead of filling memory. Used for every file
// the runner reads whole: scripts and snapshots.
#pragma once

#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace quillfen::runner {

// A file could not be read; what() is the reason, to follow the file's name in a
// sentence ("No such file or directory", "it is larger than 16 MB").
class ReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The content of `path`, at most `limit` bytes (named `limit_words` in the error, as
// "16 MB"). Throws ReadError.
std::string read_bounded(const std::filesystem::path& path, std::size_t limit, const std::string& limit_words);

}  // namespace quillfen::runner
