# Offline resolution on arbitrary bytes: a snapshot document, then instruction lines.
# Run with fuzz/run.sh offline_resolution: inputs up to 64 kB, so that nesting far past
# the bound can be reached; seeds are fuzz/seeds/offline_resolution/ and
# examples/shop_snapshot.json.
add_executable(offline_resolution_fuzz offline_resolution_fuzz.cpp)
target_link_libraries(offline_resolution_fuzz PRIVATE quillfen_runner)
target_link_options(offline_resolution_fuzz PRIVATE -fsanitize=fuzzer)
