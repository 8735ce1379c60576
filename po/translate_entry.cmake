# Puts every catalogue's translations into a desktop entry or a file
# manager's menu file (Name[de]=...):
#   cmake -DMSGFMT=... -DTEMPLATE=... -DOUTPUT=... -DPO_DIR=...
#     -DLANGUAGES=de|fr -DKEYWORDS=Name|Comment -P translate_entry.cmake
# One language at a time: msgfmt's own way of merging every language at
# once (-d) loses all but the last language's texts once a key has no
# translation in some catalogue.
foreach(list LANGUAGES KEYWORDS)
  string(REPLACE "|" ";" ${list} "${${list}}")
endforeach()
set(keywords)
foreach(k ${KEYWORDS})
  list(APPEND keywords --keyword=${k})
endforeach()
file(COPY_FILE ${TEMPLATE} ${OUTPUT}.0)
set(step 0)
foreach(language ${LANGUAGES})
  math(EXPR next "${step} + 1")
  execute_process(COMMAND ${MSGFMT} --desktop ${keywords} --template=${OUTPUT}.${step} -l ${language}
                          -o ${OUTPUT}.${next} ${PO_DIR}/${language}.po
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "msgfmt could not merge the ${language} catalogue into ${TEMPLATE}")
  endif()
  file(REMOVE ${OUTPUT}.${step})
  set(step ${next})
endforeach()
file(RENAME ${OUTPUT}.${step} ${OUTPUT})
