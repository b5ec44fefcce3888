# Opt-in (label browser): profkit's SVG rendered by headless Chromium is a
# drawing, not a blank page. Skipped (77) when chromium is absent.
find_package(Python3 COMPONENTS Interpreter QUIET)
if(Python3_Interpreter_FOUND)
  add_test(NAME profkit.optin.browser_svg
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/browser_svg.py
                   ${PROFKIT_BINARY_PATH} ${PROJECT_SOURCE_DIR}/examples/P.PER)
  set_tests_properties(profkit.optin.browser_svg PROPERTIES LABELS "e2e;browser" SKIP_RETURN_CODE 77
                       TIMEOUT 300)
endif()
