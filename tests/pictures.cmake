# Pictures of failing steps: their names, bounds and notes on a fake tab, and their
# outlines drawn and captured in real Chromium.
quillfen_test(pictures_test SOURCES pictures_test.cpp LIBS quillfen_runner quillfen_fake_tab)
quillfen_test(pictures_browser_test SOURCES pictures_browser_test.cpp LIBS quillfen_runner LABELS browser
              WHOLE TIMEOUT 300)
