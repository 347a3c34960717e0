# The browser's side of the pipe on arbitrary bytes: the message framer, then the
# connection's replies and events. Run with fuzz/run.sh browser_replies.
add_executable(browser_replies_fuzz browser_replies_fuzz.cpp)
target_link_libraries(browser_replies_fuzz PRIVATE quillfen_chromium)
target_link_options(browser_replies_fuzz PRIVATE -fsanitize=fuzzer)
