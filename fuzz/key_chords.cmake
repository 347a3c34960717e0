# Key chords as `press` and `sendkeys` values. Run with fuzz/run.sh key_chords.
add_executable(key_chords_fuzz key_chords_fuzz.cpp)
target_link_libraries(key_chords_fuzz PRIVATE quillfen_chromium)
target_link_options(key_chords_fuzz PRIVATE -fsanitize=fuzzer)
