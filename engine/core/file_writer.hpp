// The one way the tool writes a file for its user (reports, JUnit XML, scan documents,
// snapshots), so that no write can leave a damaged file or replace something it was not
// asked to touch.
//
// A regular file, or a path where nothing is yet, gets its new content atomically: the
// content goes to a temporary file in the same folder, is flushed, and is renamed into
// place, so a reader (or a second writer) sees the old or the new file whole, and a write
// that fails part-way leaves the old file as it was. A symbolic link is followed and the
// file it leads to is replaced; the link stays a link. A device, a FIFO or a socket is
// written straight into and never replaced; a directory is refused.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

namespace quillfen::files {

// A file could not be written. path1() is the file (or folder) concerned; reason() says
// what went wrong in words that follow the path in a sentence ("cannot create its
// directory: Permission denied").
class WriteError : public std::filesystem::filesystem_error {
 public:
  WriteError(const std::filesystem::path& path, std::string reason, std::error_code code);
  const std::string& reason() const { return reason_; }

 private:
  std::string reason_;
};

// Makes `content` the whole content of `path` under the rules above, creating missing
// directories on the way. Throws WriteError.
void write_file(const std::filesystem::path& path, std::string_view content);

// Writes `content` to a new file in `directory` (created when missing) under the first
// of name(1), name(2), ... that is free, and returns its path. An existing entry of a
// name, of any kind, is never replaced: the next name is tried. Throws WriteError.
std::filesystem::path write_new_file(const std::filesystem::path& directory,
                                     const std::function<std::string(int)>& name, std::string_view content);

}  // namespace quillfen::files
