# The runner's parts that need no browser.
quillfen_test(runner_parts_test SOURCES runner_parts_test.cpp LIBS quillfen_runner)
