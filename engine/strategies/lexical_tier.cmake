# The level-1 text-match strategy.
quillfen_module(lexical_tier SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/lexical_tier.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lexical_tier_directional.cpp)
