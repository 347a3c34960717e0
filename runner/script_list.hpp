// Which scripts a run takes: the paths given on the command line, each folder among them
// replaced by every *.test file under it (at any depth, in sorted order), and, for a
// shard of a suite spread over several machines, the one slice of them that is its own.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quillfen::runner {

// A path cannot be used; what() is one sentence for the user.
class ScriptListError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The paths in the order given, a folder replaced by the *.test files under it, sorted
// by path; a folder without any is refused. Any other path is taken as a script as it
// is, whatever its name, and read (or refused) later like every script.
std::vector<std::filesystem::path> expand_scripts(const std::vector<std::string>& arguments);

// The I-th (from 1) of N slices.
struct Shard {
  std::size_t index = 1;
  std::size_t count = 1;
};

// "2/4": none unless both are whole numbers with 1 <= I <= N.
std::optional<Shard> parse_shard(std::string_view text);

// The scripts of a shard: sorted by path, every N-th from the I-th on, so that every
// script falls in exactly one slice and the slices differ by at most one script in
// size, whatever the order they were given in.
std::vector<std::filesystem::path> shard_slice(std::vector<std::filesystem::path> scripts, const Shard& shard);

}  // namespace quillfen::runner
