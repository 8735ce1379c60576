# Extracts the template:
#   cmake -DXGETTEXT=... -DOUTPUT=... -DSOURCE_DIR=... -DVERSION=...
#     -DPROGRAM_SOURCES=a|b -DDESKTOP_FILES=a|b -DDESKTOP_KEYWORDS=Name|Comment
#     -DMETAINFO=... -DPYTHON_FILES=a|b -P extract.cmake
# (lists separated by "|": a command line keeps no ";").
# xgettext warns of every text with a carriage return; the window's own
# texts have them on purpose ("\n\rWorking..."), so that warning is left
# out of what it says, as is the one of the template's own unnamed
# character set while it is joined; every other goes through.
foreach(list PROGRAM_SOURCES DESKTOP_FILES DESKTOP_KEYWORDS PYTHON_FILES)
  string(REPLACE "|" ";" ${list} "${${list}}")
endforeach()
set(common --from-code=UTF-8 --package-name=Sealdoor --package-version=${VERSION}
  --msgid-bugs-address=sealdoor@users.noreply.github.com --add-comments=TRANSLATORS: --no-wrap --sort-by-file)
set(desktop_keywords)
foreach(k ${DESKTOP_KEYWORDS})
  list(APPEND desktop_keywords --keyword=${k})
endforeach()

file(REMOVE ${OUTPUT}.new)
foreach(run cxx desktop metainfo python)
  if(run STREQUAL "cxx")
    set(args --language=C++ --keyword --keyword=Tr --keyword=TrN:1,2 --keyword=N ${PROGRAM_SOURCES})
  elseif(run STREQUAL "desktop")
    set(args --join-existing --language=Desktop --keyword ${desktop_keywords} ${DESKTOP_FILES})
  elseif(run STREQUAL "metainfo")
    set(args --join-existing ${METAINFO})
  else()
    set(args --join-existing --language=Python ${PYTHON_FILES})
  endif()
  execute_process(COMMAND ${XGETTEXT} ${common} --output=${OUTPUT}.new ${args}
    WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE status ERROR_VARIABLE said)
  # Line by line: what xgettext says, less the warnings above.
  string(REPLACE "\n" ";" lines "${said}")
  foreach(line IN LISTS lines)
    if(line MATCHES "should not contain the '.r' escape sequence|Charset .CHARSET. is not a portable|Message conversion to user's charset"
       OR line STREQUAL "")
      continue()
    endif()
    message("${line}")
  endforeach()
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "xgettext failed")
  endif()
endforeach()
# The date xgettext writes would make every build a new template.
file(READ ${OUTPUT}.new pot)
string(REGEX REPLACE "\"POT-Creation-Date: [^\"]*\"" "\"POT-Creation-Date: \\\\n\"" pot "${pot}")
# References name the sources as the repository has them.
string(REPLACE "${METAINFO}" "packaging/linux/sealdoor.metainfo.xml.in" pot "${pot}")
string(REPLACE "${SOURCE_DIR}/" "" pot "${pot}")
file(WRITE ${OUTPUT}.new "${pot}")
file(RENAME ${OUTPUT}.new ${OUTPUT})
