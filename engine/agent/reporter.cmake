quillfen_module(reporter SOURCES reporter.cpp)
