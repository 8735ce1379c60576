# The resources every Windows program file of ours carries: the padlock
# icons, the version, the manifest. Adds them to `target`, named `exe`.
function(sealdoor_windows_resources target exe)
  set(SEALDOOR_WINDOWS ${PROJECT_SOURCE_DIR}/packaging/windows)
  set(SEALDOOR_EXE ${exe})
  configure_file(${SEALDOOR_WINDOWS}/sealdoor.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
endfunction()
