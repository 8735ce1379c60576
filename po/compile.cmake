# Compiles one catalogue: cmake -DMSGFMT=... -DPO=... -DMO=... -P compile.cmake
# msgfmt warns of every text with a carriage return, which the window's
# own texts have on purpose; that warning is left out, every other one and
# every error go through.
execute_process(COMMAND ${MSGFMT} --check -o ${MO} ${PO} RESULT_VARIABLE status ERROR_VARIABLE said)
string(REPLACE "\n" ";" lines "${said}")
foreach(line IN LISTS lines)
  if(line MATCHES "should not contain the '.r' escape sequence" OR line STREQUAL "")
    continue()
  endif()
  message("${line}")
endforeach()
if(NOT status EQUAL 0)
  message(FATAL_ERROR "msgfmt could not compile ${PO}")
endif()
