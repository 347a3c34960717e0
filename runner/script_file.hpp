// Test script files: one instruction per line, UTF-8. Blank lines and lines whose first
// non-blank character is "#" are comments; every line number is the file's own.
#pragma once

#include "runner/instruction_reader.hpp"

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace quillfen::runner {

struct ScriptStep {
  int line = 0;
  std::string text;  // the instruction, trimmed
};

struct Script {
  std::filesystem::path path;
  std::vector<ScriptStep> steps;
};

// The largest script read, in bytes (16 MB): far beyond any script a person writes.
inline constexpr std::size_t MAX_SCRIPT_BYTES = std::size_t{16} << 20;

// Reads a script (a UTF-8 byte-order mark and carriage returns are dropped). Throws
// std::runtime_error with one sentence naming the file when it cannot be read or holds
// more than MAX_SCRIPT_BYTES.
Script read_script(const std::filesystem::path& path);

// Every problem of the script as "FILE:LINE: ISSUE", in line order: the validation
// issues of each step, and for a line that passes validation but cannot be parsed (such
// as "back"), the parse error. Empty when the script can run.
std::vector<std::string> script_issues(const Script& script, const InstructionReader& reader = {});

}  // namespace quillfen::runner
