// The level-2 resolution strategy's entry point. It takes the instruction, a spatial
// matrix map and the DOM candidates as JSON values, checks their shapes and answers
// none: a caller treats none as "not resolved". Relational resolution proper lives in
// RelationSolver.
#pragma once

#include "engine/core/records.hpp"

#include <optional>

namespace quillfen {

class GeometricTier {
 public:
  // Checks, in this order, that `parsed_instruction` is an object, `matrix` an object
  // (a list of matrix entries is refused) and `dom_candidates` an array; the first that
  // is not throws TypeError naming it. Always returns none.
  std::optional<ResolutionResult> resolve(const Json& parsed_instruction, const Json& matrix,
                                          const Json& dom_candidates) const;
};

}  // namespace quillfen
