# The relaxed strategy on fixture pages in real Chromium, through the resolution chain.
quillfen_test(relaxed_browser_test SOURCES relaxed_browser_test.cpp LIBS quillfen_runner LABELS browser TIMEOUT 300)
