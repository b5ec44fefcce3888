# Opt-in (label browser): the report of examples/P.PER opened in headless
# Chromium; its DOM shows every section and its screenshot is not blank.
# Skipped (exit 77, with the reason) when chromium or python3 is missing.
find_program(PROFKIT_CHROMIUM NAMES chromium chromium-browser)
find_program(PROFKIT_PYTHON3 NAMES python3)
if(PROFKIT_PYTHON3)
  add_test(NAME profkit.browser_report
           COMMAND ${PROFKIT_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/browser_report.py
                   ${PROFKIT_BINARY_PATH} ${PROJECT_SOURCE_DIR}/examples/P.PER
                   "${PROFKIT_CHROMIUM}")
else()
  add_test(NAME profkit.browser_report
           COMMAND sh -c "echo 'browser_report: python3 not found; skipped'; exit 77")
endif()
set_tests_properties(profkit.browser_report PROPERTIES LABELS "e2e;browser" SKIP_RETURN_CODE 77
                     TIMEOUT 600)
