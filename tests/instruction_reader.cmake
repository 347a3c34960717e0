# The runner's reading and checking of instruction lines, over the engine's step reader.
quillfen_test(instruction_reader_test SOURCES instruction_reader_test.cpp LIBS quillfen_runner)
