#include "engine/strategies/geometric_tier.hpp"

#include <string>

namespace quillfen {

namespace {

void require(bool ok, const char* argument, const char* shape) {
  if (!ok) throw TypeError(std::string("'") + argument + "' must be " + shape);
}

}  // namespace

std::optional<ResolutionResult> GeometricTier::resolve(const Json& parsed_instruction, const Json& matrix,
                                                       const Json& dom_candidates) const {
  require(parsed_instruction.is_object(), "parsed_instruction", "a JSON object");
  require(matrix.is_object(), "matrix", "a JSON object");
  require(dom_candidates.is_array(), "dom_candidates", "a JSON array");
  return std::nullopt;
}

}  // namespace quillfen
