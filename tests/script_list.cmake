# Which scripts a run takes: folders expanded, shards sliced.
quillfen_test(script_list_test SOURCES script_list_test.cpp LIBS quillfen_runner)
