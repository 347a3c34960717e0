#include "runner/bounded_read.hpp"

#include <cerrno>
#include <fstream>
#include <system_error>

namespace quillfen::runner {

std::string read_bounded(const std::filesystem::path& path, std::size_t limit, const std::string& limit_words) {
  const auto failed = [](int error) { return ReadError(std::generic_category().message(error)); };
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) throw failed(EISDIR);
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) throw failed(errno != 0 ? errno : ENOENT);
  // Read in pieces, so that reading stops at the bound.
  std::string all;
  std::string piece(std::size_t{1} << 16, '\0');
  while (in) {
    in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
    all.append(piece, 0, static_cast<std::size_t>(in.gcount()));
    if (all.size() > limit) throw ReadError("it is larger than " + limit_words);
  }
  if (in.bad()) throw failed(EIO);
  return all;
}

}  // namespace quillfen::runner
