# cmake -DGROFF=... -DPAGE=... -P CheckManPage.cmake
# Fails when groff has anything to say about the manual page: with -ww every
# warning is on, and a page written in the man conventions renders silently.
execute_process(COMMAND "${GROFF}" -man -ww -z "${PAGE}" RESULT_VARIABLE result
                ERROR_VARIABLE warnings OUTPUT_QUIET)
if(NOT result EQUAL 0 OR NOT warnings STREQUAL "")
  message(FATAL_ERROR "${PAGE} does not render cleanly (${result}):\n${warnings}")
endif()
