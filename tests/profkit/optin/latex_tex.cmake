# Opt-in (label latex): profkit's pgfplots picture compiles with pdflatex.
# Skipped (77) when pdflatex or pgfplots is absent.
find_package(Python3 COMPONENTS Interpreter QUIET)
if(Python3_Interpreter_FOUND)
  add_test(NAME profkit.optin.latex_tex
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/latex_tex.py
                   ${PROFKIT_BINARY_PATH} ${PROJECT_SOURCE_DIR}/examples/P.PER)
  set_tests_properties(profkit.optin.latex_tex PROPERTIES LABELS "e2e;latex" SKIP_RETURN_CODE 77
                       TIMEOUT 900)
endif()
