# Extracts the template: cmake -DXGETTEXT=... -DOUTPUT=... -DSOURCE_DIR=...
#   -DPROGRAM_SOURCES=... -DDESKTOP_FILES=... -DDESKTOP_KEYWORDS=...
#   -DMETAINFO=... -DPYTHON_FILES=... -DVERSION=... -P extract.cmake
# xgettext warns of every text with a carriage return; the window's own
# texts have them on purpose ("\n\rWorking..."), so that one warning is
# left out of what it says, and every other goes through.
set(common --from-code=UTF-8 --package-name=Sealdoor --package-version=${VERSION}
  --msgid-bugs-address=sealdoor@users.noreply.github.com --add-comments=TRANSLATORS: --no-wrap)
set(desktop_keywords)
foreach(k ${DESKTOP_KEYWORDS})
  list(APPEND desktop_keywords --keyword=${k})
endforeach()
set(runs
  "--language=C++;--keyword;--keyword=Tr;--keyword=TrN:1,2;--keyword=N;${PROGRAM_SOURCES}"
  "--join-existing;--language=Desktop;--keyword;${desktop_keywords};${DESKTOP_FILES}"
  "--join-existing;${METAINFO}"
  "--join-existing;--language=Python;${PYTHON_FILES}")
file(REMOVE ${OUTPUT}.new)
foreach(run IN LISTS runs)
  string(REPLACE "," "\\;" run "${run}")
  execute_process(COMMAND ${XGETTEXT} ${common} --output=${OUTPUT}.new ${run}
    WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE status ERROR_VARIABLE said)
  string(REGEX REPLACE "[^\n]*warning: internationalized messages should not contain the '\\\\r' escape sequence\n" ""
         said "${said}")
  if(said)
    message("${said}")
  endif()
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "xgettext failed")
  endif()
endforeach()
file(RENAME ${OUTPUT}.new ${OUTPUT})
