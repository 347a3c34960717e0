quillfen_module(step_reader SOURCES step_reader.cpp)
