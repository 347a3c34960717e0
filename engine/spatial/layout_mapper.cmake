quillfen_module(layout_mapper SOURCES layout_mapper.cpp)
