#include "engine/strategies/geometric_tier.hpp"

#include <gtest/gtest.h>

namespace quillfen {
namespace {

TEST(GeometricTier, ChecksArgumentsInOrderAndAnswersNone) {
  const GeometricTier tier;
  EXPECT_FALSE(tier.resolve(Json::object(), Json::object(), Json::array()).has_value());
  EXPECT_FALSE(tier.resolve(Json{{"action", "click"}}, Json{{"rows", 1}}, Json::array({Json::object()})).has_value());

  struct Case {
    Json parsed;
    Json matrix;
    Json candidates;
    std::string named;
  };
  const std::vector<Case> cases{
      {Json::array(), Json::array(), Json::object(), "'parsed_instruction'"},
      // A list of matrix entries is refused before the candidates are looked at.
      {Json::object(), Json::array(), Json::object(), "'matrix'"},
      {Json::object(), Json(nullptr), Json::array(), "'matrix'"},
      {Json::object(), Json::object(), Json::object(), "'dom_candidates'"},
      {Json::object(), Json::object(), Json("x"), "'dom_candidates'"},
  };
  for (const auto& c : cases) {
    try {
      (void)tier.resolve(c.parsed, c.matrix, c.candidates);
      ADD_FAILURE() << "no error for " << c.named;
    } catch (const TypeError& e) {
      EXPECT_NE(std::string(e.what()).find(c.named), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace quillfen
