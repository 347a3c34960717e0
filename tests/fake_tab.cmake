# A browser tab without a browser, for tests of the step loop (see fake_tab.hpp).
add_library(quillfen_fake_tab STATIC fake_tab.cpp)
target_include_directories(quillfen_fake_tab PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(quillfen_fake_tab PUBLIC quillfen_fake_page quillfen_chromium quillfen_core)
