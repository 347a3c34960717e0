# Offline resolution on arbitrary bytes: a snapshot document, then instruction lines.
# Run with
#   offline_resolution_fuzz -dict=fuzz/offline_resolution.dict -max_len=16384 -max_total_time=600 CORPUS_DIR
# seeding CORPUS_DIR with examples/shop_snapshot.json, a NUL byte and a few lines.
add_executable(offline_resolution_fuzz offline_resolution_fuzz.cpp)
target_link_libraries(offline_resolution_fuzz PRIVATE quillfen_runner)
target_link_options(offline_resolution_fuzz PRIVATE -fsanitize=fuzzer)
