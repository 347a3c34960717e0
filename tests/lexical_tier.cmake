quillfen_test(lexical_tier_test SOURCES lexical_tier_test.cpp LIBS quillfen_lexical_tier)
# The tests build records with designated initializers; members left out take their
# declared defaults on purpose.
target_compile_options(lexical_tier_test PRIVATE -Wno-missing-field-initializers)
