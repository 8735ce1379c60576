# The resources every Windows program file of ours carries: the padlock
# icons, the version, the manifest. Adds them to `target`, named `exe`.
function(sealdoor_windows_resources target exe)
  set(SEALDOOR_WINDOWS ${PROJECT_SOURCE_DIR}/packaging/windows)
  set(SEALDOOR_EXE ${exe})
  configure_file(${SEALDOOR_WINDOWS}/sealdoor.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  # The resource compiler's dependencies are not scanned: a changed manifest
  # or icon must still rebuild the program.
  set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/${target}.rc PROPERTIES OBJECT_DEPENDS
    "${SEALDOOR_WINDOWS}/sealdoor.manifest;${PROJECT_SOURCE_DIR}/packaging/icons/padlock-closed.ico;${PROJECT_SOURCE_DIR}/packaging/icons/padlock-open.ico")
endfunction()
