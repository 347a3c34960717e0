# An in-memory page for tests of code that reads pages (see fake_page.hpp).
add_library(quillfen_fake_page STATIC fake_page.cpp)
target_link_libraries(quillfen_fake_page PUBLIC quillfen_page_scanner quillfen_core)
