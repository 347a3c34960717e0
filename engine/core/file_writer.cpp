#include "engine/core/file_writer.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <random>
#include <sstream>
#include <utility>

namespace quillfen::files {

namespace fs = std::filesystem;

WriteError::WriteError(const fs::path& path, std::string reason, std::error_code code)
    : fs::filesystem_error(reason, path, code), reason_(std::move(reason)) {}

namespace {

// As many links as the kernel follows in one path before it gives up.
constexpr int MAX_LINKS = 40;
// Room left in a file name for the temporary name's own parts.
constexpr std::size_t MAX_NAME_PART = 200;

[[noreturn]] void fail(const fs::path& path, const std::string& what, int error) {
  const std::error_code code(error, std::generic_category());
  throw WriteError(path, what + ": " + code.message(), code);
}

// A file being written under a hidden name. Its descriptor is closed and the name
// removed when it goes, unless it was released after being renamed into place.
class TemporaryFile {
 public:
  // A fresh file in `directory`, named after `name` with a random part, so that
  // concurrent writers never share one and no visible name is ever taken.
  TemporaryFile(const fs::path& directory, const std::string& name, const fs::path& target) {
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
      std::ostringstream hidden;
      hidden << '.' << name.substr(0, MAX_NAME_PART) << '.' << std::hex << random() << random() << ".tmp";
      path_ = directory / hidden.str();
      fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd_ >= 0) return;
      if (errno != EEXIST) fail(target, "cannot create a temporary file beside it", errno);
    }
    fail(target, "cannot create a temporary file beside it", EEXIST);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!released_) ::unlink(path_.c_str());
  }

  int fd() const { return fd_; }
  const fs::path& path() const { return path_; }
  // Closes the descriptor; false (with errno set) when the close reported an error.
  bool close() { return ::close(std::exchange(fd_, -1)) == 0; }
  void release() { released_ = true; }

 private:
  fs::path path_;
  int fd_ = -1;
  bool released_ = false;
};

// Writes everything; the errno of the failure, or 0.
int write_all(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t n = ::write(fd, content.data(), content.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    content.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

fs::path folder_of(const fs::path& path) { return path.has_parent_path() ? path.parent_path() : fs::path("."); }

// The first path of the chain of symbolic links starting at `path` that is not a link;
// it may not exist.
fs::path follow_links(const fs::path& path) {
  fs::path current = path;
  for (int hops = 0; hops <= MAX_LINKS; ++hops) {
    struct stat seen {};
    if (::lstat(current.c_str(), &seen) != 0 || !S_ISLNK(seen.st_mode)) return current;
    std::error_code error;
    const fs::path next = fs::read_symlink(current, error);
    if (error) fail(path, "cannot read the link " + current.string(), error.value());
    current = next.is_absolute() ? next : current.parent_path() / next;
  }
  fail(path, "cannot follow its links", ELOOP);
}

void create_folder_of(const fs::path& target) {
  if (!target.has_parent_path()) return;
  std::error_code error;
  fs::create_directories(target.parent_path(), error);
  if (error) fail(target, "cannot create its directory", error.value());
}

// Writes into what is there, without replacing it: for devices, FIFOs and sockets.
void write_straight(const fs::path& path, std::string_view content, int flags) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | flags);
  if (fd < 0) fail(path, "cannot open it", errno);
  const int error = write_all(fd, content);
  const bool closed = ::close(fd) == 0;
  if (error != 0) fail(path, "cannot write it", error);
  if (!closed) fail(path, "cannot write it", errno);
}

// Writes a temporary file beside `target` and renames it over `target`. An earlier
// file's permission bits (`mode`) are kept.
void replace(const fs::path& target, std::string_view content, std::optional<mode_t> mode) {
  TemporaryFile file(folder_of(target), target.filename().string(), target);
  if (const int error = write_all(file.fd(), content); error != 0) fail(target, "cannot write it", error);
  if (mode && ::fchmod(file.fd(), *mode) != 0) fail(target, "cannot give it the earlier file's permissions", errno);
  // Flushed before the rename, so that a crash cannot leave an empty file in its place.
  if (::fsync(file.fd()) != 0 || !file.close()) fail(target, "cannot write it", errno);
  if (::rename(file.path().c_str(), target.c_str()) != 0) fail(target, "cannot put it in place", errno);
  file.release();
}

}  // namespace

void write_file(const fs::path& path, std::string_view content) {
  struct stat seen {};
  if (::stat(path.c_str(), &seen) == 0) {
    if (S_ISDIR(seen.st_mode)) fail(path, "it is a directory", EISDIR);
    if (!S_ISREG(seen.st_mode)) return write_straight(path, content, 0);
    const fs::path target = follow_links(path);
    // A plain file is replaced as it is: comparing it with itself below could see another
    // writer's file renamed in between, and write this one into that file in place.
    if (target == path) return replace(target, content, seen.st_mode & 07777);
    struct stat found {};
    // A link that the kernel resolves by itself (/dev/stdout, /proc/self/fd/1) may not
    // lead where its text says; such a file can only be written where it is.
    if (::stat(target.c_str(), &found) != 0 || found.st_dev != seen.st_dev || found.st_ino != seen.st_ino) {
      return write_straight(path, content, O_TRUNC);
    }
    return replace(target, content, seen.st_mode & 07777);
  }
  if (errno != ENOENT && errno != ENOTDIR) fail(path, "cannot reach it", errno);
  // Nothing there yet, or a link to where nothing is yet.
  const fs::path target = follow_links(path);
  create_folder_of(target);
  replace(target, content, std::nullopt);
}

fs::path write_new_file(const fs::path& directory, const std::function<std::string(int)>& name,
                        std::string_view content) {
  std::error_code error;
  fs::create_directories(directory, error);
  if (error) fail(directory, "cannot create the directory", error.value());
  const fs::path first = directory / name(1);
  TemporaryFile file(directory, name(1), first);
  if (const int failure = write_all(file.fd(), content); failure != 0) fail(first, "cannot write it", failure);
  // No fsync: nothing older can be lost, and a scan that saves a file must stay cheap.
  if (!file.close()) fail(first, "cannot write it", errno);
  for (int n = 1;; ++n) {
    const fs::path target = directory / name(n);
    // A hard link fails where any entry of that name exists, so nothing is replaced.
    if (::link(file.path().c_str(), target.c_str()) == 0) return target;
    if (errno != EEXIST) fail(target, "cannot put it in place", errno);
  }
}

}  // namespace quillfen::files
