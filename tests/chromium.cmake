# The browser layer: its floors without a browser, then the page and the scan in real
# Chromium (one browser for the suite, a fresh tab per test), then a check that the
# suite left no browser process or profile behind.
quillfen_test(chromium_transport_test SOURCES chromium_transport_test.cpp LIBS quillfen_chromium)
