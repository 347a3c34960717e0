quillfen_test(reporter_test SOURCES reporter_test.cpp LIBS quillfen_reporter)
quillfen_test(reporter_browser_test SOURCES reporter_browser_test.cpp LIBS quillfen_reporter
              LABELS browser)
