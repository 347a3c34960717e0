# The resolution chain on records in memory.
quillfen_test(chain_test SOURCES chain_test.cpp LIBS quillfen_runner)
