# The step loop on a fake tab: retries, dialogs, a lost tab, without a browser.
quillfen_test(step_runner_test SOURCES step_runner_test.cpp LIBS quillfen_runner quillfen_fake_tab)
