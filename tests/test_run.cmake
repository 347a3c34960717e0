# A whole run on fake tabs: per-script headings, a browser restarted once per script,
# a stop that ends the run with its reports written, and the JSON document.
quillfen_test(test_run_test SOURCES test_run_test.cpp LIBS quillfen_runner quillfen_fake_tab)
